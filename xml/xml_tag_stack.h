// The stack of open element names shared by the XML reader and writer.
#pragma once

// Bytes held per entry, terminator included: longer names are cut to 999 characters.
constexpr int xml_tag_text_size = 1000;

struct tavi_xml_tag_entry {
    char text[xml_tag_text_size];
    tavi_xml_tag_entry *below;
};

// Pushes a copy of `text` (null counts as empty) onto `*top`. 1 on success; 0 when memory runs
// out, leaving the stack unchanged.
[[nodiscard]] int tavi_xml_push_tag(tavi_xml_tag_entry **top, const char *text);

// Unlinks and returns the top entry (the caller frees it with tavi_xml_free_tag), or null when
// the stack is empty.
tavi_xml_tag_entry *tavi_xml_unlink_tag(tavi_xml_tag_entry **top);

void tavi_xml_free_tag(tavi_xml_tag_entry *entry);

// Frees every entry and leaves `*top` null.
void tavi_xml_free_tag_stack(tavi_xml_tag_entry **top);

// Number of entries on the stack.
int tavi_xml_tag_stack_depth(const tavi_xml_tag_entry *top);
