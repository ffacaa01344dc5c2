// Pull reader for small one-element-per-line XML files.
#include "xml/xml_reader.h"

#include "support/debug_log.h"
#include "support/fixed_string.h"
#include "support/string_util.h"

#include <cstring>

namespace {

constexpr const char *cdata_header = "![CDATA[";
constexpr int cdata_header_length = 8;

struct entity {
    const char *text;
    int length;
    char value;
};
constexpr entity entities[] = {{"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&amp;", 5, '&'}};

int hex_value(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

const char *skip_spaces(const char *p)
{
    while (*p == ' ')
        p++;
    return p;
}

// The messages of one declaration keyword, in the order the checks meet them.
struct header_keyword {
    const char *name;
    int length;
    const char *no_equals;
    const char *no_opening_quote;
    const char *no_closing_quote;
};
constexpr header_keyword version_keyword = {
    "version", 7,
    "Warning in tavi_xml_reader::check_xml_header_string(), 'version' tag found, but no version.",
    "Warning in tavi_xml_reader::check_xml_header_string(), 'version' tag found, but no opening "
    "version quote.",
    "Warning in tavi_xml_reader::check_xml_header_string(), 'version' tag found, but no closing "
    "version quote.",
};
constexpr header_keyword encoding_keyword = {
    "encoding", 8,
    "Warning in tavi_xml_reader::check_xml_header_string(), 'encoding' tag found, but no encoding.",
    "Warning in tavi_xml_reader::check_xml_header_string(), 'encoding' tag found, but no opening "
    "encoding quote.",
    "Warning in tavi_xml_reader::check_xml_header_string(), 'encoding' tag found, but no closing "
    "encoding quote.",
};

// Steps over `keyword = "value"` and the spaces after it; null (after the report) when the
// equals sign or a quote is missing.
const char *parse_header_attribute(const char *p, const header_keyword &keyword)
{
    p = skip_spaces(p + keyword.length);
    if (*p != '=') {
        report_error(keyword.no_equals, REPORT_CONNECTION);
        return nullptr;
    }
    p = skip_spaces(p + 1);
    if (*p != '"') {
        report_error(keyword.no_opening_quote, REPORT_CONNECTION);
        return nullptr;
    }
    const char *closing = strchr(p + 1, '"');
    if (!closing) {
        report_error(keyword.no_closing_quote, REPORT_CONNECTION);
        return nullptr;
    }
    return skip_spaces(closing + 1);
}

} // namespace

tavi_xml_reader::~tavi_xml_reader() { tavi_xml_free_tag_stack(&stack_); }

int tavi_xml_reader::check_xml_header_string(const char *line)
{
    if (!first_word_equal(line, "<?xml")) {
        report_error("Warning in tavi_xml_reader::check_xml_header_string(), missing opening "
                     "'<?xml' tag.",
                     REPORT_CONNECTION);
        return 0;
    }
    const char *p = next_arg(line);
    if (!p) {
        report_error("Warning in tavi_xml_reader::check_xml_header_string(), didn't get either "
                     "version or encoding.",
                     REPORT_CONNECTION);
        return 0;
    }
    int have_version = 0;
    int have_encoding = 0;
    for (;;) {
        if (strncmp(p, version_keyword.name, version_keyword.length) == 0) {
            p = parse_header_attribute(p, version_keyword);
            have_version = 1;
        } else if (strncmp(p, encoding_keyword.name, encoding_keyword.length) == 0) {
            p = parse_header_attribute(p, encoding_keyword);
            have_encoding = 1;
        } else {
            report_error("Warning in tavi_xml_reader::check_xml_header_string(), unknown tag found.",
                         REPORT_CONNECTION);
            return 0;
        }
        if (!p)
            return 0;
        if (*p == '\0' || (p[0] == '?' && p[1] == '>'))
            break;
    }
    if (have_version && have_encoding)
        return 1;
    if (have_version)
        report_error("Warning in tavi_xml_reader::check_xml_header_string(), didn't get encoding.",
                     REPORT_CONNECTION);
    else if (have_encoding)
        report_error("Warning in tavi_xml_reader::check_xml_header_string(), didn't get version.",
                     REPORT_CONNECTION);
    else
        report_error("Warning in tavi_xml_reader::check_xml_header_string(), didn't get either "
                     "version or encoding.",
                     REPORT_CONNECTION);
    return 0;
}

int tavi_xml_reader::read_tag(char *dest, int size)
{
    if (!dest) {
        report_error("Error in tavi_xml_reader::read_tag(), NULL dest?", REPORT_MISUSE);
        return 0;
    }
    if (size <= 0) {
        report_error("Error in tavi_xml_reader::read_tag(), dest is too small?", REPORT_MISUSE);
        return 0;
    }
    if (!skip_to_open_bracket())
        return 0;
    if (!read_block(dest, size, 1))
        return 0;
    if (dest[0] == '/') {
        pop_stack_entry(dest);
        return 0;
    }
    return push(dest);
}

int tavi_xml_reader::read_data(char *dest, int size)
{
    if (!dest) {
        report_error("Error in tavi_xml_reader::read_data(char[]), NULL dest?", REPORT_MISUSE);
        return 0;
    }
    if (size <= 0) {
        report_error("Error in tavi_xml_reader::read_data(char[]), dest is too small?",
                     REPORT_MISUSE);
        return 0;
    }
    if (!read_block(dest, size, 0))
        return 0;
    char closing[xml_block_buffer_size];
    (void)read_block(closing, sizeof closing, 1);
    pop_stack_entry(closing);
    return 1;
}

int tavi_xml_reader::read_data(int *dest)
{
    if (!dest) {
        report_error("Error in tavi_xml_reader::read_data(int), NULL dest?", REPORT_MISUSE);
        return 0;
    }
    char text[xml_int_buffer_size];
    if (!read_block(text, sizeof text, 0))
        return 0;
    int stored = parse_int_text(text, dest);
    if (!stored) {
        fixed_string message("Warning in tavi_xml_reader::read_data(int) - got non-number'");
        message.append(text);
        message.append("'.");
        report_error(message.c_str(), REPORT_FORMAT);
    }
    (void)read_block(text, sizeof text, 1);
    pop_stack_entry(text);
    return stored;
}

int tavi_xml_reader::read_cdata(void *dest, int size)
{
    if (!dest) {
        report_error("Error in tavi_xml_reader::read_cdata(), NULL dest?", REPORT_MISUSE);
        return 0;
    }
    if (size <= 0) {
        report_error("Error in tavi_xml_reader::read_cdata(), dest is too small?", REPORT_MISUSE);
        return 0;
    }
    if (!skip_to_open_bracket())
        return 0;
    int header_bytes = size - 1 < cdata_header_length ? size - 1 : cdata_header_length;
    char header[cdata_header_length];
    for (int i = 0; i < header_bytes; i++) {
        int c = get_next_char();
        if (c < 0)
            return 0;
        header[i] = char(c);
    }
    if (header_bytes < cdata_header_length || memcmp(header, cdata_header, cdata_header_length)) {
        report_error("Warning in tavi_xml_reader::read_cdata(), did not get ![CDATA[ header.",
                     REPORT_FORMAT);
        return 0;
    }
    unsigned char *bytes = static_cast<unsigned char *>(dest);
    int stored = 0;
    unsigned accumulator = 0;
    int digits = 0;
    while (stored < size) {
        int c = get_next_char();
        if (c < 0)
            return 0;
        if (c == '<' || c == '>')
            break;
        int value = hex_value(c);
        if (value < 0)
            continue;
        accumulator = (accumulator << 4) | unsigned(value);
        if (++digits % 2 == 0)
            bytes[stored++] = static_cast<unsigned char>(accumulator & 0xff);
    }
    skip_data();
    return stored;
}

void tavi_xml_reader::skip_data()
{
    if (!stack_) {
        report_error("Error in tavi_xml_reader::skip_data() - you must read at least the opening "
                     "tag before skipping data.",
                     REPORT_MISUSE);
        return;
    }
    // The element ends at the closing tag that finds it on top again, whatever the name says.
    const tavi_xml_tag_entry *skipped = stack_;
    char block[xml_block_buffer_size];
    for (;;) {
        if (!skip_chunk()) {
            report_error("Warning in tavi_xml_reader::skip_data() - unable to read chunk?",
                         REPORT_FORMAT);
            return;
        }
        if (!read_block(block, sizeof block, 1)) {
            report_error("Warning in tavi_xml_reader::skip_data() - unable to read block?",
                         REPORT_FORMAT);
            return;
        }
        if (block[0] == '!')
            continue;
        if (block[0] == '/') {
            bool last = stack_ == skipped;
            pop_stack_entry(block);
            if (last)
                return;
            continue;
        }
        if (!push(block))
            return;
    }
}

int tavi_xml_reader::read_block(char *dest, int size, int tag_mode)
{
    if (!dest) {
        report_error("Error in tavi_xml_reader::read_block(), NULL dest?", REPORT_MISUSE);
        return 0;
    }
    if (size <= 0) {
        report_error("Error in tavi_xml_reader::read_block(), dest is too small?", REPORT_MISUSE);
        return 0;
    }
    int stored = 0;
    int unprintable = 0;
    int c;
    for (;;) {
        c = get_next_char();
        if (c < 0) {
            report_error("Warning in tavi_xml_reader::read_block(), file corruption - got EOF "
                         "before trailing bracket.",
                         REPORT_FORMAT);
            dest[stored] = '\0';
            return 0;
        }
        if (c == '<' || c == '>')
            break;
        if (stored < size - 1) {
            dest[stored++] = char(c);
            if (c < 32 || c > 126)
                unprintable++;
        }
    }
    if (c == '<' && tag_mode)
        report_error("Warning in tavi_xml_reader::read_block(), got second open bracket?",
                     REPORT_FORMAT);
    else if (c == '>' && !tag_mode)
        report_error("Warning in tavi_xml_reader::read_block(), got second closing bracket?",
                     REPORT_FORMAT);
    dest[stored] = '\0';
    if (unprintable)
        return 0;
    compact_string(dest);
    return 1;
}

int tavi_xml_reader::skip_chunk()
{
    for (;;) {
        int c = get_next_char();
        if (c < 0)
            return 0;
        if (c == '<')
            return 1;
        if (c == '>')
            report_error("Warning in tavi_xml_reader::skip_chunk(), got closing bracket?",
                         REPORT_FORMAT);
    }
}

int tavi_xml_reader::skip_to_open_bracket()
{
    for (;;) {
        int c = get_next_char();
        if (c < 0)
            return 0;
        if (c == '<')
            return 1;
    }
}

void tavi_xml_reader::pop_stack_entry(const char *text)
{
    if (!text)
        text = "";
    if (text[0] == '/') {
        text++;
    } else {
        fixed_string message("Warning in tavi_xml_reader::pop_stack_entry() - got bad closing tag '");
        message.append(text);
        message.append("'?");
        report_error(message.c_str(), REPORT_FORMAT);
    }
    tavi_xml_tag_entry *entry = tavi_xml_unlink_tag(&stack_);
    if (!entry) {
        fixed_string message("Warning in tavi_xml_reader::pop_stack_entry() - got closing tag '");
        message.append(text);
        message.append("' with no tag open.");
        report_error(message.c_str(), REPORT_FORMAT);
        return;
    }
    if (strcmp(text, entry->text) != 0) {
        fixed_string message("Warning in tavi_xml_reader::pop_stack_entry() - popped tag '");
        message.append(text);
        message.append("' did not match expected tag '");
        message.append(entry->text);
        message.append("'.");
        report_error(message.c_str(), REPORT_FORMAT);
    }
    tavi_xml_free_tag(entry);
}

void tavi_xml_reader::compact_string(char *text)
{
    if (!text)
        return;
    char *out = text;
    const char *in = text;
    while (*in) {
        if (*in != '&') {
            *out++ = *in++;
            continue;
        }
        const entity *found = nullptr;
        for (const entity &e : entities)
            if (strncmp(in, e.text, e.length) == 0)
                found = &e;
        if (found) {
            *out++ = found->value;
            in += found->length;
        } else {
            report_error("Warning in tavi_xml_reader::compact_string(), unknown '&' conversion "
                         "found?",
                         REPORT_FORMAT);
            *out++ = *in++;
        }
    }
    *out = '\0';
}

int tavi_xml_reader::push(const char *text)
{
    if (tavi_xml_push_tag(&stack_, text))
        return 1;
    report_error("Error in tavi_xml_reader::read_tag(), out of memory.", REPORT_RESOURCE);
    return 0;
}

tavi_xml_file_reader::tavi_xml_file_reader(FILE *handle) : handle_(handle)
{
    if (!handle)
        report_error("Error in tavi_xml_file_reader::tavi_xml_file_reader(), NULL file handle.",
                     REPORT_RESOURCE);
}

tavi_xml_file_reader::~tavi_xml_file_reader() { handle_ = nullptr; }

int tavi_xml_file_reader::get_next_char()
{
    if (!handle_)
        return -1;
    int c = fgetc(handle_);
    return c == EOF ? -1 : c;
}
