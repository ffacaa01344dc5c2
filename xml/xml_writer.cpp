// Streaming writer of indented one-element-per-line XML.
#include "xml/xml_writer.h"

#include "support/debug_log.h"

#include <cstring>

namespace {

constexpr const char *indent_unit = "  ";
constexpr const char *bogus_ending_tag = "_BOGUS_ENDING_TAG_";
constexpr const char hex_digits[] = "0123456789abcdef";

} // namespace

tavi_xml_writer::~tavi_xml_writer() { tavi_xml_free_tag_stack(&stack_); }

void tavi_xml_writer::emit(const char *text)
{
    if (write_raw(text) < 0)
        write_failed_ = 1;
}

int tavi_xml_writer::write_header()
{
    int result = write_raw(xml_header_line);
    if (result < 0)
        write_failed_ = 1;
    return result;
}

void tavi_xml_writer::write_string(const char *text)
{
    if (!text) {
        report_error("Error in tavi_xml_writer::write_string(), NULL data.\n", REPORT_MISUSE);
        return;
    }
    for (; *text; text++) {
        switch (*text) {
        case '<': emit("&lt;"); break;
        case '>': emit("&gt;"); break;
        case '&': emit("&amp;"); break;
        default: {
            const char one[2] = {*text, '\0'};
            emit(one);
        }
        }
    }
}

void tavi_xml_writer::write_tag(const char *name, int newline_after, const char *attributes)
{
    if (!name) {
        report_error("Error in tavi_xml_writer::write_tag(), NULL tag.\n", REPORT_MISUSE);
        return;
    }
    if (!tavi_xml_push_tag(&stack_, name)) {
        report_error("Error in tavi_xml_writer::write_tag(), out of memory.\n", REPORT_RESOURCE);
        return;
    }
    write_indent();
    emit("<");
    write_string(name);
    if (attributes) {
        emit(" ");
        emit(attributes);
    }
    emit(newline_after ? ">\n" : ">");
    depth_++;
}

void tavi_xml_writer::write_empty_tag(const char *name, const char *attributes)
{
    write_indent();
    emit("<");
    write_string(name);
    if (attributes) {
        emit(" ");
        emit(attributes);
    }
    emit(" />\n");
}

void tavi_xml_writer::end_tag(const char *name, int indent)
{
    depth_--;
    if (indent)
        write_indent();
    emit("</");
    tavi_xml_tag_entry *entry = tavi_xml_unlink_tag(&stack_);
    if (!entry) {
        report_error("Error in tavi_xml_writer::end_tag(), tag stack empty.\n", REPORT_MISUSE);
        write_string(bogus_ending_tag);
    } else {
        if (name && strcmp(name, entry->text) != 0)
            report_error("Warning in tavi_xml_writer::end_tag(), tried to close wrong tag.\n",
                         REPORT_FORMAT);
        write_string(entry->text);
        tavi_xml_free_tag(entry);
    }
    emit(">\n");
}

void tavi_xml_writer::write_cdata(const void *data, int length)
{
    if (!data && length > 0) {
        report_error("Error in tavi_xml_writer::write_cdata(), NULL data.\n", REPORT_MISUSE);
        return;
    }
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    emit("<![CDATA[\n");
    for (int i = 0; i < length; i++) {
        const char pair[3] = {hex_digits[bytes[i] >> 4], hex_digits[bytes[i] & 15], '\0'};
        emit(pair);
        if ((i + 1) % xml_cdata_bytes_per_line == 0)
            emit("\n");
    }
    if (length > 0 && length % xml_cdata_bytes_per_line != 0)
        emit("\n");
    emit("]]>\n");
}

void tavi_xml_writer::write_indent()
{
    for (int i = 0; i < depth_; i++)
        emit(indent_unit);
}

void tavi_xml_writer::write_newline() { emit("\n"); }

tavi_xml_file_writer::tavi_xml_file_writer(FILE *handle) : handle_(handle)
{
    if (!handle)
        report_error("Error in tavi_xml_file_writer::tavi_xml_file_writer(), NULL file handle.\n",
                     REPORT_RESOURCE);
}

tavi_xml_file_writer::~tavi_xml_file_writer() { handle_ = nullptr; }

int tavi_xml_file_writer::write_raw(const char *text)
{
    if (!handle_ || !text)
        return -1;
    return fprintf(handle_, "%s", text);
}
