// The stack of open element names shared by the XML reader and writer.
#include "xml/xml_tag_stack.h"

#include <cstdlib>
#include <cstring>

int tavi_xml_push_tag(tavi_xml_tag_entry **top, const char *text)
{
    tavi_xml_tag_entry *entry = static_cast<tavi_xml_tag_entry *>(malloc(sizeof *entry));
    if (!entry)
        return 0;
    strncpy(entry->text, text ? text : "", xml_tag_text_size - 1);
    entry->text[xml_tag_text_size - 1] = '\0';
    entry->below = *top;
    *top = entry;
    return 1;
}

tavi_xml_tag_entry *tavi_xml_unlink_tag(tavi_xml_tag_entry **top)
{
    tavi_xml_tag_entry *entry = *top;
    if (entry)
        *top = entry->below;
    return entry;
}

void tavi_xml_free_tag(tavi_xml_tag_entry *entry) { free(entry); }

void tavi_xml_free_tag_stack(tavi_xml_tag_entry **top)
{
    while (tavi_xml_tag_entry *entry = tavi_xml_unlink_tag(top))
        tavi_xml_free_tag(entry);
}

int tavi_xml_tag_stack_depth(const tavi_xml_tag_entry *top)
{
    int depth = 0;
    for (; top; top = top->below)
        depth++;
    return depth;
}
