// Fuzzes the XML reader the way the configuration loader drives it: a valid declaration line,
// then arbitrary bytes read tag by tag with every kind of data read chosen by the tag's bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/debug_log.h"
#include "support/line_reader.h"
#include "xml/xml_reader.h"
#include "xml/xml_writer.h"

namespace {

constexpr int nesting_limit = 64;

// An exactly sized heap buffer, so that a write past `size` is caught. Starts empty: the reader
// leaves its destination untouched when the input ends before a tag.
struct buffer {
    explicit buffer(int n) : size(n), bytes(static_cast<char *>(calloc(size_t(n), 1))) {}
    ~buffer() { free(bytes); }
    int size;
    char *bytes;
};

void check(bool condition)
{
    if (!condition)
        abort();
}

void read_elements(tavi_xml_reader &reader, int depth)
{
    buffer tag(1 + depth % 40 * 25);
    for (;;) {
        int before = reader.open_tag_count();
        tag.bytes[0] = '\0';
        int got = reader.read_tag(tag.bytes, tag.size);
        check(strlen(tag.bytes) < size_t(tag.size));
        if (!got) {
            check(reader.open_tag_count() <= before);
            return;
        }
        check(reader.open_tag_count() == before + 1);
        unsigned choice = static_cast<unsigned char>(tag.bytes[0]) + strlen(tag.bytes);
        switch (choice % 5) {
        case 0: {
            buffer text(1 + int(choice % 50));
            (void)reader.read_data(text.bytes, text.size);
            check(strlen(text.bytes) < size_t(text.size));
            break;
        }
        case 1: {
            int value = 0;
            (void)reader.read_data(&value);
            break;
        }
        case 2: {
            buffer bytes(1 + int(choice % 40));
            int stored = reader.read_cdata(bytes.bytes, bytes.size);
            check(stored >= 0 && stored <= bytes.size);
            break;
        }
        case 3:
            reader.skip_data();
            break;
        default:
            if (depth < nesting_limit)
                read_elements(reader, depth + 1);
            else
                reader.skip_data();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    log_level = 0;

    // The declaration check on the input's own first line.
    std::string first(reinterpret_cast<const char *>(data), size);
    first = first.substr(0, first.find_first_of(std::string("\n\r\0", 3)));
    (void)tavi_xml_reader::check_xml_header_string(first.c_str());

    std::string input = std::string(xml_header_line) +
                        std::string(reinterpret_cast<const char *>(data), size);
    FILE *file = fmemopen(&input[0], input.size(), "rb");
    if (!file)
        return 0;
    char line[1000];
    line[0] = '\0';
    (void)fget_line(file, line, sizeof line);
    {
        tavi_xml_file_reader reader(file);
        check(reader.check_xml_header_string(line) == 1);
        read_elements(reader, 0);
        // Whatever is left open is freed with the reader.
    }
    fclose(file);
    return 0;
}
