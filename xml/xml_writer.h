// Streaming writer of indented one-element-per-line XML, with the reader's three entities.
#pragma once

#include "xml/xml_tag_stack.h"

#include <cstdio>

// The declaration line write_header() produces.
constexpr const char *xml_header_line = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

// A CDATA section holds this many bytes (two hex digits each) per line.
constexpr int xml_cdata_bytes_per_line = 32;

// Writes through write_raw() and never buffers. Keeps its own stack of open elements so that
// closing tags come from the stack. Every output error is remembered for write_failed().
class tavi_xml_writer {
public:
    tavi_xml_writer() = default;
    tavi_xml_writer(const tavi_xml_writer &) = delete;
    tavi_xml_writer &operator=(const tavi_xml_writer &) = delete;

    // Writes `text` unchanged; returns the number of bytes written, negative on error.
    virtual int write_raw(const char *text) = 0;
    // Frees the open elements without writing their closing tags.
    virtual ~tavi_xml_writer();

    // Writes xml_header_line with one write_raw() and returns that call's result.
    int write_header();
    // Writes `text` with '<', '>' and '&' as entities; null is reported and writes nothing.
    void write_string(const char *text);
    // Writes the indentation, "<name" (escaped), " attributes" (unescaped) when given, then ">"
    // or ">\n"; pushes the name and goes one level deeper. A null name is reported and changes
    // nothing.
    void write_tag(const char *name, int newline_after, const char *attributes = nullptr);
    // Writes an indented "<name attributes />" line; the stack and depth stay as they are.
    void write_empty_tag(const char *name, const char *attributes = nullptr);
    // Goes one level up (also below zero), writes the indentation when `indent` is set, then the
    // closing tag of the innermost open element and a line feed. A `name` that differs from that
    // element is reported; the element's own name is written. With nothing open the error is
    // reported and "</_BOGUS_ENDING_TAG_>\n" is written.
    void end_tag(const char *name, int indent);
    // Writes `length` bytes as lower-case hex, 32 bytes per line, between "<![CDATA[\n" and
    // "]]>\n", unindented. Null data with a positive length is reported and writes nothing.
    void write_cdata(const void *data, int length);
    // Writes two spaces per open element (nothing while the depth is zero or below).
    void write_indent();
    void write_newline();

    // Open-element count as written so far (may be negative after unmatched end_tag calls).
    int depth() const { return depth_; }
    // 1 once any write_raw() returned a negative result.
    int write_failed() const { return write_failed_; }

private:
    void emit(const char *text);

    int depth_ = 0;
    tavi_xml_tag_entry *stack_ = nullptr;
    int write_failed_ = 0;
};

// A writer over a stdio stream that it never opens, flushes or closes. The owner checks the
// stream itself after the last write (fflush/fclose), since stdio may only fail there.
class tavi_xml_file_writer : public tavi_xml_writer {
public:
    // A null handle is reported; every write then fails.
    explicit tavi_xml_file_writer(FILE *handle);
    ~tavi_xml_file_writer() override;

    // fprintf(handle, "%s", text); -1 for a null handle or text.
    int write_raw(const char *text) override;

private:
    FILE *handle_;
};
