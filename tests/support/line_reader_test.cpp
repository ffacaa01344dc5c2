// Line, tag, long-text, number-block, hash-line, tilde and semicolon readers over memory streams.
#include "support/line_reader.h"

#include "tests/common/log_capture.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <stdio_ext.h>
#include <string>
#include <vector>

namespace {

// A read-only stream over a copy of `bytes` (zero bytes included), closed on destruction.
class memory_stream {
public:
    explicit memory_stream(const std::string &bytes) : data_(bytes)
    {
        // fmemopen refuses an empty buffer; an empty stream is one at its end from the start.
        stream_ = data_.empty() ? fopen("/dev/null", "r") : fmemopen(&data_[0], data_.size(), "r");
    }
    ~memory_stream()
    {
        if (stream_)
            fclose(stream_);
    }
    memory_stream(const memory_stream &) = delete;
    memory_stream &operator=(const memory_stream &) = delete;
    FILE *get() const { return stream_; }
    // Whatever has not been read yet.
    std::string rest()
    {
        std::string out;
        for (int c; (c = fgetc(stream_)) != EOF;)
            out += char(c);
        return out;
    }

private:
    std::string data_;
    FILE *stream_;
};

struct read_step {
    int result;
    std::string text;
};

const char line_overflow[] = "Warning in fget_line(), string overflow.  String was:\n";

// fget_line's contract followed one fgetc at a time: the reference for the buffered reader.
// Returns what fget_line must return; *text gets the stored text, *overflowed whether the
// overflow warning is due.
int reference_fget_line(FILE *stream, int size, std::string *text, bool *overflowed)
{
    int c = fgetc(stream);
    if (c == EOF)
        return 0;
    text->clear();
    while (c != EOF && c != '\n' && c != '\r' && c != '\0') {
        if (int(text->size()) < size - 1)
            *text += char(c);
        c = fgetc(stream);
    }
    *overflowed = int(text->size()) == size - 1;
    return int(text->size()) + 1;
}

} // namespace

TEST(FgetLine, Cases)
{
    const std::string x2000(2000, 'x'), x1023(1023, 'y'), x1022(1022, 'z');
    struct {
        const char *name;
        std::string input;
        int size;
        std::vector<read_step> steps;   // then 0 at the end of the stream
        int overflows;
    } cases[] = {
        {"empty stream", "", 1024, {}, 0},
        {"only a line feed", "\n", 1024, {{1, ""}}, 0},
        {"two lines", "alpha\nbeta\n", 1024, {{6, "alpha"}, {5, "beta"}}, 0},
        {"CR LF endings", "a\r\nbc\r\n", 1024, {{2, "a"}, {1, ""}, {3, "bc"}, {1, ""}}, 0},
        {"CR alone", "a\rb", 1024, {{2, "a"}, {2, "b"}}, 0},
        {"last line without line feed", "one\ntwo", 1024, {{4, "one"}, {4, "two"}}, 0},
        {"zero byte ends a line", std::string("a\0b\n", 4), 1024, {{2, "a"}, {2, "b"}}, 0},
        {"long line then another", x2000 + "\nnext\n", 1024,
         {{1024, x2000.substr(0, 1023)}, {5, "next"}}, 1},
        {"line of exactly size - 1", x1023 + "\nz\n", 1024, {{1024, x1023}, {2, "z"}}, 1},
        {"line of size - 2", x1022 + "\n", 1024, {{1023, x1022}}, 0},
        {"size 1 keeps nothing", "ab\n\n", 1, {{1, ""}, {1, ""}}, 2},
        {"size 2", "ab\nc\n", 2, {{2, "a"}, {2, "c"}}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test_util::log_capture log;
        memory_stream in(c.input);
        std::vector<char> buffer(std::max(c.size, 16) + 8, '#');
        for (const auto &step : c.steps) {
            EXPECT_EQ(fget_line(in.get(), buffer.data(), c.size), step.result);
            EXPECT_EQ(std::string(buffer.data()), step.text);
            EXPECT_EQ(buffer[c.size], '#');   // nothing written past the size
        }
        strcpy(buffer.data(), "untouched");
        EXPECT_EQ(fget_line(in.get(), buffer.data(), c.size), 0);
        EXPECT_STREQ(buffer.data(), "untouched");
        EXPECT_EQ(log.occurrences(line_overflow), c.overflows);
    }
}

TEST(FgetLine, SameLinesWhateverTheStreamBufferAndLocking)
{
    // Lines of every length around the 16-byte steps, each ended by one of the three line ends,
    // a line longer than any buffer, and a last line without end: with small stream buffers
    // lines and line ends fall across refills.
    const char line_ends[] = {'\n', '\r', '\0'};
    std::string input;
    for (int length = 0; length < 40; length++) {
        input.append(size_t(length), char('a' + length % 26));
        input += line_ends[length % 3];
    }
    input += std::string(3000, 'L') + "\r\n" + "tail";   // the long line, an empty one, the last

    for (int stream_buffer : {0, 1, 2, 7, 16, 17, 4096}) {   // 0: unbuffered
        for (int size : {1, 2, 16, 17, 33, 1024}) {
            for (bool caller_locks : {false, true}) {
                SCOPED_TRACE("stream buffer " + std::to_string(stream_buffer) + ", size " +
                             std::to_string(size) + (caller_locks ? ", caller locks" : ""));
                std::vector<char> storage(size_t(stream_buffer) + 1);
                memory_stream in(input), reference(input);
                ASSERT_EQ(stream_buffer ? setvbuf(in.get(), storage.data(), _IOFBF,
                                                  size_t(stream_buffer))
                                        : setvbuf(in.get(), nullptr, _IONBF, 0),
                          0);
                if (caller_locks)
                    __fsetlocking(in.get(), FSETLOCKING_BYCALLER);
                test_util::log_capture log;
                std::vector<char> buffer(size_t(size) + 8, '#');
                int expected_overflows = 0, lines = 0;
                for (;;) {
                    std::string text;
                    bool overflowed = false;
                    int expected = reference_fget_line(reference.get(), size, &text, &overflowed);
                    ASSERT_EQ(fget_line(in.get(), buffer.data(), size), expected) << "line " << lines;
                    if (!expected)
                        break;
                    ASSERT_EQ(std::string(buffer.data()), text) << "line " << lines;
                    ASSERT_EQ(buffer[size_t(size)], '#');
                    expected_overflows += overflowed;
                    lines++;
                }
                EXPECT_EQ(lines, 43);
                EXPECT_EQ(log.occurrences(line_overflow), expected_overflows);
            }
        }
    }
}

TEST(FgetLine, PushedBackCharacterStartsTheNextLine)
{
    memory_stream in("abc\ndef\nend");
    char buffer[16];
    EXPECT_EQ(fget_line(in.get(), buffer, sizeof buffer), 4);
    ASSERT_EQ(ungetc('X', in.get()), 'X');
    EXPECT_EQ(fget_line(in.get(), buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Xdef");
    ASSERT_EQ(ungetc('\n', in.get()), '\n');   // a pushed-back line end is an empty line
    EXPECT_EQ(fget_line(in.get(), buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(fget_line(in.get(), buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "end");
    EXPECT_EQ(fget_line(in.get(), buffer, sizeof buffer), 0);
}

TEST(FgetLine, OverflowReportQuotesTheStoredText)
{
    test_util::log_capture log;
    memory_stream in("abcdefgh\n");
    char buffer[4];
    EXPECT_EQ(fget_line(in.get(), buffer, sizeof buffer), 4);
    EXPECT_EQ(log.text(), std::string(line_overflow) + "abc\n");
}

TEST(FgetLine, BadArgumentsReadNothing)
{
    test_util::log_capture log;
    memory_stream in("line\n");
    char buffer[8] = "same";
    EXPECT_EQ(fget_line(in.get(), buffer, 0), 0);
    EXPECT_EQ(fget_line(in.get(), nullptr, 8), 0);
    EXPECT_EQ(fget_line(nullptr, buffer, 8), 0);
    EXPECT_STREQ(buffer, "same");
    EXPECT_EQ(log.occurrences("Error in fget_line(), bad arguments.\n"), 3);
    EXPECT_EQ(in.rest(), "line\n");
}

TEST(FgetTag, Cases)
{
    struct {
        std::string input;
        int size;
        int result;
        std::string tag;
        std::string rest;
        int overflows;
    } cases[] = {
        {"   #E 1 2 3\n", 64, 2, "E", "1 2 3\n", 0},
        {"no tag here\n", 64, 0, "", "", 0},
        {"", 64, 0, "", "", 0},
        {"#\n", 64, 1, "", "", 0},
        {"#", 64, 1, "", "", 0},
        {"x#end", 64, 4, "end", "", 0},
        {"#ab\tc", 64, 3, "ab", "c", 0},
        {"#ab\r\nc", 64, 3, "ab", "\nc", 0},
        {"##x y", 64, 3, "#x", "y", 0},
        {"#abcdef gh", 4, 4, "abc", "gh", 1},
        {"#abc gh", 4, 4, "abc", "gh", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        test_util::log_capture log;
        memory_stream in(c.input);
        char buffer[64];
        strcpy(buffer, "junk");
        EXPECT_EQ(fget_tag(in.get(), buffer, c.size), c.result);
        EXPECT_EQ(std::string(buffer), c.tag);
        EXPECT_EQ(in.rest(), c.rest);
        EXPECT_EQ(log.occurrences("Warning in fget_tag(), string overflow.  String was:\n"), c.overflows);
    }
}

TEST(FgetLong, Cases)
{
    struct {
        std::string input;
        int size;
        int result;
        std::string text;
        std::string rest;
        int overflows;
    } cases[] = {
        {"y;\nnext", 64, 2, "y", "next", 0},
        {"multi\nline;\n#end\n", 64, 11, "multi\nline", "#end\n", 0},
        {"y;#end\n", 64, 2, "y", "#end\n", 0},   // the next tag is not swallowed
        {"y;\r\n", 64, 2, "y", "\r\n", 0},
        {"", 64, 0, "", "", 0},
        {"no end", 64, 7, "no end", "", 0},
        {std::string("a\0\nb", 4), 64, 2, "a", "b", 0},
        {";\n", 64, 1, "", "", 0},
        {"abcdef;\nz", 4, 4, "abc", "z", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        test_util::log_capture log;
        memory_stream in(c.input);
        char buffer[64] = "";
        EXPECT_EQ(fget_long(in.get(), buffer, c.size), c.result);
        EXPECT_EQ(std::string(buffer), c.text);
        EXPECT_EQ(in.rest(), c.rest);
        EXPECT_EQ(log.occurrences("Warning in fget_long(), string overflow.  String was:\n"), c.overflows);
    }
}

TEST(FgetBlock, Cases)
{
    struct {
        std::string input;
        int count;
        std::vector<int> values;
        std::string rest;
        bool eof_error;
    } cases[] = {
        {"1 2 3\nnext", 3, {1, 2, 3}, "next", false},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14\nnext", 12, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "next", false},
        {"1 2 3 4 5 6 7 8 9 10 11 12\nnext", 12, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "next", false},
        {"1 2\n", 2, {1, 2}, "", false},
        {"-7 +8\r\n", 2, {-7, 8}, "\n", false},
        {"1 2 \n3\nnext", 3, {1, 2, 3}, "next", false},   // a space before the line feed
        {"5 x\n", 1, {5}, "x\n", false},
        {"\n", 0, {}, "", false},
        {"", 0, {}, "", true},
        {"4", 1, {4}, "", true},
        {"99999999999 -99999999999\n", 2, {INT_MAX, INT_MIN}, "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        test_util::log_capture log;
        memory_stream in(c.input);
        int values[fget_block_max];
        for (int &v : values)
            v = 99;
        EXPECT_EQ(fget_block(in.get(), values), c.count);
        for (int i = 0; i < fget_block_max; ++i)
            EXPECT_EQ(values[i], i < int(c.values.size()) ? c.values[i] : 0) << "slot " << i;
        EXPECT_EQ(in.rest(), c.rest);
        EXPECT_EQ(log.occurrences("Error in fget_block(), EOF encountered.\n"), c.eof_error ? 1 : 0);
    }
}

TEST(FgetDblock, ReadsFloatingPointNumbers)
{
    test_util::log_capture log;
    memory_stream in("1.5 -2 3e2\n0.25");
    double values[fget_block_max];
    EXPECT_EQ(fget_dblock(in.get(), values), 3);
    EXPECT_DOUBLE_EQ(values[0], 1.5);
    EXPECT_DOUBLE_EQ(values[1], -2.0);
    EXPECT_DOUBLE_EQ(values[2], 300.0);
    EXPECT_DOUBLE_EQ(values[3], 0.0);
    EXPECT_EQ(fget_dblock(in.get(), values), 1);
    EXPECT_DOUBLE_EQ(values[0], 0.25);
    EXPECT_EQ(log.text(), "Error in fget_dblock(), EOF encountered.\n");
}

TEST(FgetHashLine, Cases)
{
    const std::string long_line(20000, 'h');
    struct {
        std::string input;
        std::vector<read_step> steps;   // then 0
        int overflows;
    } cases[] = {
        {"junk #rest of line\r\nmore #two", {{13, "rest of line"}, {4, "two"}}, 0},
        {"none here", {}, 0},
        {"#\n#\n", {{1, ""}, {1, ""}}, 0},
        {"#" + long_line + "\n#after\n", {{16384, long_line.substr(0, 16383)}, {6, "after"}}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        test_util::log_capture log;
        memory_stream in(c.input);
        std::vector<char> buffer(hash_line_buffer_size + 1, '@');
        for (const auto &step : c.steps) {
            EXPECT_EQ(fget_hash_line(in.get(), buffer.data()), step.result);
            EXPECT_EQ(std::string(buffer.data()), step.text);
        }
        EXPECT_EQ(fget_hash_line(in.get(), buffer.data()), 0);
        EXPECT_EQ(buffer[hash_line_buffer_size], '@');
        EXPECT_EQ(log.occurrences("Warning in fget_hash_line(), string overflow.  String was:\n"),
                  c.overflows);
    }
}

TEST(FgetTildeText, Cases)
{
    const std::string x5000(5000, 'x');
    const std::string x3989(3989, 'x');
    struct {
        std::string input;
        int result;
        std::string text;
        std::string rest;
    } cases[] = {
        {"hello~ next", 6, "hello", "next"},
        {"a~Bc~~d~\n#n", 8, "a~Bc~~d", "#n"},
        {"two\nlines~\n", 10, "two\nlines", ""},
        {"ends at eof", 12, "ends at eof", ""},
        {"tilde at eof~", 13, "tilde at eof", ""},
        {"~x", 1, "", ""},
        {"", 0, "", ""},
        {x5000, 3991, x5000.substr(0, 3990), x5000.substr(3990)},
        {x3989 + "~Ayz", 3992, x3989 + "~A", "yz"},   // a pair may pass the limit by one
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        memory_stream in(c.input);
        std::vector<char> buffer(tilde_text_buffer_size, '@');
        buffer[0] = '\0';
        EXPECT_EQ(fget_tilde_text(in.get(), buffer.data()), c.result);
        EXPECT_EQ(std::string(buffer.data()), c.text);
        EXPECT_EQ(in.rest(), c.rest);
    }
}

TEST(FgetSemicolonText, Cases)
{
    const std::string x5000(5000, 'x');
    struct {
        std::string input;
        int result;
        std::string text;
        std::string rest;
    } cases[] = {
        {" abc;\nrest", 4, "abc", "rest"},
        {"=a\nb;", 4, "a\nb", ""},
        {" no semicolon", 13, "no semicolon", ""},
        {" ", 1, "", ""},
        {"", 0, "", ""},
        {" " + x5000, 4000, x5000.substr(0, 3999), x5000.substr(4000)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        memory_stream in(c.input);
        std::vector<char> buffer(semicolon_text_buffer_size, '@');
        buffer[0] = '\0';
        EXPECT_EQ(fget_semicolon_text(in.get(), buffer.data()), c.result);
        EXPECT_EQ(std::string(buffer.data()), c.text);
        EXPECT_EQ(in.rest(), c.rest);
    }
}

TEST(FgetLineHasPrefix, ReadsOneLineEachCall)
{
    memory_stream in("abcdef\nxyz\nabc");
    EXPECT_EQ(fget_line_has_prefix(in.get(), "abc"), 1);
    EXPECT_EQ(fget_line_has_prefix(in.get(), "abc"), 0);
    EXPECT_EQ(fget_line_has_prefix(in.get(), "abc"), 1);
    EXPECT_EQ(fget_line_has_prefix(in.get(), ""), 0);   // end of stream
}

TEST(TextHasPrefix, Cases)
{
    struct {
        const char *text;
        const char *prefix;
        int expected;
    } cases[] = {
        {"abc", "ab", 1}, {"abc", "abd", 0}, {"abc", "", 1},  {"abc", "abc", 1},
        {"ab", "abc", 0}, {"", "", 1},       {nullptr, "a", 0}, {"a", nullptr, 0},
        {"Abc", "ab", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(text_has_prefix(c.text, c.prefix), c.expected)
            << (c.text ? c.text : "null") << " / " << (c.prefix ? c.prefix : "null");
}

TEST(Readers, EndOfStreamLeavesTheBufferAlone)
{
    struct {
        const char *name;
        int (*read)(FILE *, char *);
    } readers[] = {
        {"fget_line", [](FILE *f, char *b) { return fget_line(f, b, 64); }},
        {"fget_long", [](FILE *f, char *b) { return fget_long(f, b, 64); }},
        {"fget_hash_line", [](FILE *f, char *b) { return fget_hash_line(f, b); }},
        {"fget_tilde_text", [](FILE *f, char *b) { return fget_tilde_text(f, b); }},
        {"fget_semicolon_text", [](FILE *f, char *b) { return fget_semicolon_text(f, b); }},
    };
    for (const auto &r : readers) {
        SCOPED_TRACE(r.name);
        memory_stream in("");
        std::vector<char> buffer(hash_line_buffer_size, '\0');
        strcpy(buffer.data(), "untouched");
        EXPECT_EQ(r.read(in.get(), buffer.data()), 0);
        EXPECT_STREQ(buffer.data(), "untouched");
    }
    // fget_tag empties its buffer before it looks for the '#'.
    memory_stream in("no hash");
    char tag[16] = "untouched";
    EXPECT_EQ(fget_tag(in.get(), tag, sizeof tag), 0);
    EXPECT_STREQ(tag, "");
}
