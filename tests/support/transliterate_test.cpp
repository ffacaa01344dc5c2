// UTF-8 to ASCII: the forgiving decoder, the replacement table and the output limits.
#include "support/transliterate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A heap copy holding exactly the bytes and the terminator, so that AddressSanitizer catches a
// read past the end.
struct exact_copy {
    explicit exact_copy(const std::string &bytes)
        : text(static_cast<char *>(malloc(bytes.size() + 1)))
    {
        memcpy(text, bytes.c_str(), bytes.size() + 1);
    }
    ~exact_copy() { free(text); }
    exact_copy(const exact_copy &) = delete;
    exact_copy &operator=(const exact_copy &) = delete;
    char *text;
};

std::string fixed_form(const std::string &bytes)
{
    exact_copy input(bytes);
    fixed_string out;
    utf8_to_ascii(input.text, out);
    return out.c_str();
}

} // namespace

TEST(Utf8NextCodePoint, DecodesEachSequenceKind)
{
    struct {
        const char *bytes;
        uint32_t code_point;
        int consumed;
    } cases[] = {
        {"A", 'A', 1},
        {"\x7f", 0x7F, 1},
        {"\xc3\xa9", 0xE9, 2},                 // two bytes
        {"\xe2\x82\xac", 0x20AC, 3},           // three bytes
        {"\xe6\x97\xa5", 0x65E5, 3},
        {"\xf0\x9f\x98\x80", 0x1F600, 4},      // four bytes
        {"\x80", 0, 1},                        // stray continuation bytes: their low six bits
        {"\xa9", 0x29, 1},
        {"\xbf", 0x3F, 1},
        {"\xf8", '.', 1},                      // no sequence starts with 0xF8..0xFF
        {"\xff\x80", '.', 1},
        {"\xc0\xaf", 0x2F, 2},                 // overlong forms are returned as computed
        {"\xed\xa0\x80", 0xD800, 3},           // and so are surrogates
        {"\xf7\xbf\xbf\xbf", 0x1FFFFF, 4},     // and values above U+10FFFF
        {"\xc3" "A", 3, 1},                    // cut short by a plain byte, which is not consumed
        {"\xe2\x82" "A", 0x82, 2},
        {"\xf0\x9f\x98" "A", 0x7D8, 3},
        {"\xe2\xc3\xa9", 2, 1},                // a new lead byte also cuts the sequence
        {"\xc3\xa9\xa9", 0xE9, 2},             // continuation bytes beyond the length stay
    };
    for (const auto &c : cases) {
        exact_copy input(c.bytes);
        uint32_t code_point = 0xDEADBEEF;
        const char *next = utf8_next_code_point(input.text, &code_point);
        ASSERT_NE(next, nullptr) << c.bytes;
        EXPECT_EQ(code_point, c.code_point) << c.bytes;
        EXPECT_EQ(next - input.text, c.consumed) << c.bytes;
    }
}

TEST(Utf8NextCodePoint, TruncatedSequencesStopAtTheTerminator)
{
    // Every proper prefix of every sequence length, alone in an exactly sized buffer.
    const char *sequences[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"};
    for (const char *sequence : sequences) {
        for (size_t length = 1; length < strlen(sequence); ++length) {
            exact_copy input(std::string(sequence, length));
            uint32_t code_point = 0;
            const char *next = utf8_next_code_point(input.text, &code_point);
            ASSERT_EQ(next, input.text + length) << "prefix of length " << length;
            EXPECT_EQ(*next, '\0');
            uint32_t untouched = 12345;
            EXPECT_EQ(utf8_next_code_point(next, &untouched), nullptr);
            EXPECT_EQ(untouched, 12345u);
        }
    }
    uint32_t untouched = 7;
    EXPECT_EQ(utf8_next_code_point("", &untouched), nullptr);
    EXPECT_EQ(utf8_next_code_point(nullptr, &untouched), nullptr);
    EXPECT_EQ(untouched, 7u);
}

TEST(Utf8ToAscii, Transliterates)
{
    struct {
        const char *bytes;
        const char *expected;
    } cases[] = {
        {"plain text 123 ~", "plain text 123 ~"},
        {"Gr\xc3\xbc\xc3\x9f" "e", "Gruesse"},
        {"\xe2\x82\xac" "5", "EU5"},
        {"\xc3\x84\xc3\x96\xc3\x9c\xc3\xa4\xc3\xb6\xc3\xbc", "AeOeUeaeoeue"},
        {"Caf\xc3\xa9 na\xc3\xafve", "Cafe naive"},
        {"\xc2\xa9\xc2\xae", "(C)(R)"},
        {"\xc2\xbc\xc2\xbd\xc2\xbe", "1/41/23/4"},
        {"\xc2\xa5", "YEN"},
        {"\xe2\x84\xa2", "TM"},                     // the table's last entry, U+2122
        {"\xc2\x85\xc2\x93x\xc2\x94", "...\"x\""},  // U+0080..U+009F as Windows-1252
        {"\xcd\x9a", "(inf)"},                      // the five-character replacement
        {"\xe6\x97\xa5", "[26085]"},                // no replacement: the decimal code point
        {"\xf0\x9f\x98\x80!", "[128512]!"},
        {"\x7f", "[127]"},
        {"\xe2\x84\xa3", "[8483]"},                 // just past the table
        {"\xc6\xaa", "[426]"},                      // a gap inside a row
        {"\t\n\r", "\t\n\r"},
        {"a\x07" "b\x1b" "c\x01", "a.b.c."},
        {"\xff", "."},
        {"\xa9", ")"},                              // a lone Latin-1 byte: its low six bits
        {"\xa0\xbf", " ?"},
        {"a\x80" "b", "a"},                         // a stray 0x80 decodes to 0 and ends the text
        {"a\xc0" "b", "a"},                         // so does a lead byte carrying no bits
        {"\xc3" "A", ".A"},
        {"\xe2\x82", ","},
        {"x\xc3", "x."},
        {"\xf0\x9f" "A", ".A"},
        {"\xc0\xaf", "/"},
        {"\xed\xa0\x80", "[55296]"},
        {"", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(fixed_form(c.bytes), c.expected) << c.bytes;
        exact_copy input(c.bytes);
        EXPECT_EQ(utf8_to_ascii_string(input.text), c.expected) << c.bytes;
    }
}

TEST(Utf8ToAscii, AppendsToWhatIsThere)
{
    fixed_string out("arg: ");
    utf8_to_ascii("\xc3\x9f", out);
    EXPECT_STREQ(out.c_str(), "arg: ss");
    utf8_to_ascii(nullptr, out);
    EXPECT_STREQ(out.c_str(), "arg: ss");
    EXPECT_EQ(utf8_to_ascii_string(nullptr), "");
}

TEST(Utf8ToAscii, CutAtTheCapacityOfTheDestination)
{
    struct {
        int filled;             // characters already held
        const char *bytes;
        const char *tail;       // the end of the result after the filler
    } cases[] = {
        {5997, "ab" "\xc3\x9f", "ab"},       // single characters fill it, the replacement is dropped
        {5998, "\xc3\x9f" "x", "s"},         // a replacement is cut to what fits
        {5996, "\xe6\x97\xa5", "[26"},       // and so is a bracketed number
        {5999, "\t", ""},                    // nothing more fits
    };
    for (const auto &c : cases) {
        fixed_string out(std::string(c.filled, '-').c_str());
        utf8_to_ascii(c.bytes, out);
        std::string result = out.c_str();
        ASSERT_EQ(out.size(), int32_t(result.size()));
        EXPECT_EQ(result.substr(c.filled), c.tail) << "filled " << c.filled;
        EXPECT_LE(out.size(), fixed_string::max_length);
    }
}

TEST(Utf8ToAscii, StringFormHasNoLimit)
{
    std::string sharp_s;
    for (int i = 0; i < 10000; ++i)
        sharp_s += "\xc3\x9f";
    std::string expected(20000, 's');
    EXPECT_EQ(utf8_to_ascii_string(sharp_s.c_str()), expected);
    EXPECT_EQ(fixed_form(sharp_s), expected.substr(0, fixed_string::max_length));
}

TEST(AsciiReplacement, TableCoversItsRangeWithShortPrintableTexts)
{
    int count = 0;
    for (uint32_t code_point = 0; code_point < 0x110000; ++code_point) {
        const char *replacement = ascii_replacement(code_point);
        if (!replacement)
            continue;
        ++count;
        EXPECT_GE(code_point, 0x80u);
        EXPECT_LE(code_point, 0x2122u);
        size_t length = strlen(replacement);
        EXPECT_GE(length, 1u) << code_point;
        EXPECT_LE(length, size_t(ascii_replacement_max_length)) << code_point;
        for (const char *p = replacement; *p; ++p)
            EXPECT_TRUE(*p >= 32 && *p <= 126) << code_point;
    }
    EXPECT_EQ(count, 643);
    EXPECT_EQ(ascii_replacement(0x7F), nullptr);
    EXPECT_EQ(ascii_replacement(0xFFFFFFFF), nullptr);
}

TEST(AsciiReplacement, TellingEntries)
{
    struct {
        uint32_t code_point;
        const char *expected;   // null: no replacement
    } cases[] = {
        {0x0080, "EU"}, {0x20AC, "EU"}, {0x0081, " "}, {0x0099, "TM"}, {0x00A6, "|"},
        {0x00C4, "Ae"}, {0x00D6, "Oe"}, {0x00DC, "Ue"}, {0x00E4, "ae"}, {0x00F6, "oe"},
        {0x00FC, "ue"}, {0x00DF, "ss"}, {0x00D7, "x"}, {0x00F7, "/"}, {0x00FF, "y"},
        {0x0132, "IJ"}, {0x01C1, "||"}, {0x2016, "||"}, {0x02BA, "\""}, {0x02BE, ")"},
        {0x0347, "="}, {0x203C, "!!"}, {0x2047, "??"}, {0x20A4, "L"}, {0x04E7, "o"},
        {0x01AA, nullptr}, {0x01C2, nullptr}, {0x02B5, nullptr}, {0x0240, nullptr},
        {0x0360, nullptr}, {0x2023, nullptr}, {0x2000, nullptr}, {0x2121, nullptr},
    };
    for (const auto &c : cases) {
        const char *replacement = ascii_replacement(c.code_point);
        if (c.expected)
            EXPECT_STREQ(replacement, c.expected) << std::hex << c.code_point;
        else
            EXPECT_EQ(replacement, nullptr) << std::hex << c.code_point;
    }
}
