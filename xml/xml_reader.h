// Pull reader for small one-element-per-line XML files: tags, text, integers and hex CDATA.
//
// Not a general parser: no attributes are parsed, no namespaces, no numeric character references,
// no self-closing tags. The caller drives it tag by tag; the reader keeps a stack of open tags so
// that closing tags are matched against what was opened. Input is single-byte text.
#pragma once

#include "xml/xml_tag_stack.h"

#include <cstdio>

// Local buffer sizes: closing tags and skipped blocks, and integer data.
constexpr int xml_block_buffer_size = 1000;
constexpr int xml_int_buffer_size = 100;

// Problems are reported through report_error(); nothing throws.
class tavi_xml_reader {
public:
    tavi_xml_reader() = default;
    tavi_xml_reader(const tavi_xml_reader &) = delete;
    tavi_xml_reader &operator=(const tavi_xml_reader &) = delete;

    // The next input byte as 0..255, or -1 at end of input.
    virtual int get_next_char() = 0;
    // Frees every tag still open.
    virtual ~tavi_xml_reader();

    // Checks an XML declaration line held in memory: "<?xml" (any case) followed by version="..."
    // and encoding="..." in either order, separated by spaces, up to "?>" or the end of the text.
    // Touches neither input nor stack. 1 when both were seen; 0 with a warning otherwise.
    static int check_xml_header_string(const char *line);

    // Reads the next tag (the text between '<' and '>', at most size-1 bytes, entities decoded)
    // into `dest`. Returns 1 for an opening tag, which is pushed whole (attributes included, cut
    // to 999 bytes). Returns 0 for a closing tag, which pops the top entry (a differing name is
    // reported; with nothing open the stray tag is reported and nothing pops), at end of input
    // (silently), for a tag holding bytes outside 32..126 (silently, nothing pushed), and for a
    // null `dest` or a size below 1 (reported).
    int read_tag(char *dest, int size);

    // Reads the text of the element whose opening tag was just read (at most size-1 bytes kept,
    // the rest up to the next '<' dropped), then reads its closing tag and pops. Returns 1. On 0
    // (text with bytes outside 32..126, end of input, bad arguments) the element stays open and
    // only the '<' of its closing tag has been consumed; `dest` still holds the text read.
    int read_data(char *dest, int size);

    // The same for an element holding a decimal integer (see parse_int_text): stores it in *dest
    // and returns 1. Text that is not a number is reported and leaves *dest unchanged; its closing
    // tag is still consumed and popped; returns 0.
    int read_data(int *dest);

    // Reads a "<![CDATA[" section of hex digit pairs into `dest` as bytes (at most `size`; other
    // bytes in the section are ignored; '<' or '>' ends it), then skips the rest of the enclosing
    // element with skip_data(). Returns the number of bytes stored; 0 on failure (bad arguments,
    // end of input, a missing header, which is reported; a size below 9 cannot hold the header
    // check). `dest` is not terminated.
    int read_cdata(void *dest, int size);

    // Skips the rest of the element on top of the stack: nested elements, '!' blocks and text,
    // up to and including its closing tag. With nothing open, or when the input ends or a block
    // is rejected first, it reports and stops.
    void skip_data();

    // The text of the innermost open tag, or null when none is open.
    const char *open_tag() const { return stack_ ? stack_->text : nullptr; }
    // Number of open tags.
    int open_tag_count() const { return tavi_xml_tag_stack_depth(stack_); }

protected:
    // Reads up to the next '<' or '>' (consumed, not stored) into `dest`. In tag mode a '<'
    // ends the block with a warning, in data mode a '>'. Returns 1 with entities decoded, or 0:
    // at end of input (reported), when a stored byte lies outside 32..126 (silent), or for bad
    // arguments (reported). `dest` is terminated whenever it is usable.
    int read_block(char *dest, int size, int tag_mode);
    // Skips past the next '<'; each '>' on the way is reported. 1 when a '<' was found.
    int skip_chunk();
    // Pops the top entry for the closing tag `text` ("/name"), reporting a text without the
    // slash, a name that differs from the entry, and a closing tag with nothing open.
    void pop_stack_entry(const char *text);
    // Decodes "&lt;", "&gt;" and "&amp;" in place; any other '&' is reported and kept.
    static void compact_string(char *text);

private:
    // Skips past the next '<' silently. 1 when one was found.
    int skip_to_open_bracket();
    int push(const char *text);

    tavi_xml_tag_entry *stack_ = nullptr;
};

// A reader over a stdio stream that it never opens, seeks or closes; the caller positions it.
class tavi_xml_file_reader : public tavi_xml_reader {
public:
    // A null handle is reported; the reader then behaves as at end of input.
    explicit tavi_xml_file_reader(FILE *handle);
    ~tavi_xml_file_reader() override;

    // One fgetc() on the handle.
    int get_next_char() override;

private:
    FILE *handle_;
};
