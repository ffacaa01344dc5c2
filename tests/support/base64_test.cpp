// Base64: the alphabet, the encoder against coreutils, both decoders, full-destination rules.
#include "support/base64.h"

#include "tests/common/test_util.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encoded(const std::string &data, int *result = nullptr)
{
    fixed_string s;
    int r = base64_encode(s, data.data(), int(data.size()));
    if (result)
        *result = r;
    return std::string(s.c_str(), size_t(s.size()));
}

// A destination already holding `count` characters.
void prefill(fixed_string &s, int count)
{
    s.clear();
    for (int i = 0; i < count; i++)
        s.append('x');
}

} // namespace

TEST(Base64, AlphabetBothWays)
{
    for (int c = -128; c < 128; c++) {
        size_t index = alphabet.find(char(c));
        int expected = (c != 0 && index != std::string::npos) ? int(index) : 0;
        EXPECT_EQ(base64_char_value(char(c)), expected) << "character " << c;
    }
    for (int v = 0; v < 64; v++)
        EXPECT_EQ(base64_value_char(v), alphabet[size_t(v)]) << "value " << v;
    for (int v : {64, 65, 255, 1000, INT_MAX, -1, INT_MIN})
        EXPECT_EQ(base64_value_char(v), '=') << "value " << v;
}

TEST(Base64, EncodeMatchesCoreutilsForEveryLengthUpTo100)
{
    test_util::temp_dir dir;
    ASSERT_FALSE(dir.path().empty());
    std::mt19937 random(20240611);
    for (int length = 0; length <= 100; length++) {
        std::string data(size_t(length), '\0');
        for (auto &byte : data)
            byte = char(random() & 0xFF);
        std::string file = dir / ("data" + std::to_string(length));
        ASSERT_TRUE(test_util::write_file(file, data));
        test_util::run_result reference = test_util::run({"base64", "-w", "0", file});
        ASSERT_EQ(reference.status, 0) << reference.err;

        int result = 0;
        EXPECT_EQ(encoded(data, &result), reference.out) << "length " << length;
        EXPECT_EQ(result, 1);

        // And back through the buffer decoder, with a buffer of exactly the right size.
        unsigned char back[128];
        memset(back, 0xA5, sizeof back);
        ASSERT_EQ(base64_decode(back, length, reference.out.c_str()), length);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(back), size_t(length)), data);
        EXPECT_EQ(back[length], 0xA5) << "wrote past the decoded bytes";
    }
}

TEST(Base64, EncodeCases)
{
    struct {
        const char *before;
        const char *data;
        int length;
        int result;
        const char *after;
    } cases[] = {
        {"", "a", 1, 1, "YQ=="},
        {"", "ab", 2, 1, "YWI="},
        {"", "abc", 3, 1, "YWJj"},
        {"", "abcd", 4, 1, "YWJjZA=="},
        {"Basic ", "user:pass", 9, 1, "Basic dXNlcjpwYXNz"},
        {"keep", "abc", 0, 1, "keep"},
        {"keep", "abc", -5, 1, "keep"},
        {"keep", nullptr, 3, 0, "keep"},
        {"", "\xff\xfe\x00", 3, 1, "//4A"},
    };
    for (const auto &c : cases) {
        fixed_string s(c.before);
        EXPECT_EQ(base64_encode(s, c.data, c.length), c.result) << c.after;
        EXPECT_STREQ(s.c_str(), c.after);
    }

    fixed_string text("x");
    EXPECT_EQ(base64_encode_text(text, ""), 1);
    EXPECT_STREQ(text.c_str(), "x");
    EXPECT_EQ(base64_encode_text(text, nullptr), 0);
    EXPECT_STREQ(text.c_str(), "x");
    EXPECT_EQ(base64_encode_text(text, "ab"), 1);
    EXPECT_STREQ(text.c_str(), "xYWI=");
}

TEST(Base64, EncodeIntoAlmostFullDestination)
{
    const int max = fixed_string::max_length;
    struct {
        int before;
        const char *data;
        int result;
        const char *tail;   // the last characters held afterwards
        int size;
    } cases[] = {
        {max - 5, "abc", 1, "YWJj", max - 1},    // ends one short of full
        {max - 4, "abc", 0, "YWJj", max},        // reaches 5999 exactly
        {max - 3, "abc", 0, "YWJ", max},         // cut inside a group
        {max - 2, "a", 0, "YQ", max},            // the first pad character no longer fits
        {max - 3, "a", 0, "YQ=", max},           // the second one does not
        {max, "a", 0, "xx", max},                // nothing fits at all
    };
    for (const auto &c : cases) {
        fixed_string s;
        prefill(s, c.before);
        EXPECT_EQ(base64_encode_text(s, c.data), c.result) << c.before << " " << c.data;
        EXPECT_EQ(s.size(), c.size);
        std::string held(s.c_str());
        EXPECT_EQ(held.substr(held.size() - strlen(c.tail)), c.tail);
    }

    // A long input: the encoding is cut at the capacity and reported as not fitting.
    std::string big(5000, 'q');
    fixed_string s;
    EXPECT_EQ(base64_encode_text(s, big.c_str()), 0);
    EXPECT_EQ(s.size(), max);
    EXPECT_EQ(std::string(s.c_str()).substr(0, 8), "cXFxcXFx");
}

TEST(Base64, DecodeIntoBuffer)
{
    struct {
        const char *text;
        int size;
        int result;
        std::string bytes;   // what the buffer holds afterwards
    } cases[] = {
        {"YWJjZA==", 2, 0, "ab"},
        {"YWJjZA==", 3, 0, "abc"},
        {"YWJjZA==", 4, 4, "abcd"},
        {"YWJjZA", 4, 4, "abcd"},
        {"YWJjZA", 100, 4, "abcd"},
        {"YWJj", 3, 3, "abc"},
        {"YWJjZ", 3, 0, "abc"},            // a trailing character after a full buffer
        {"YW=j", 10, 1, "a"},              // stops at the first pad character
        {"Y!Jj", 10, 3, std::string("\x60\x02\x63", 3)},
        {"AAA=", 10, 2, std::string(2, '\0')},
        {"Y", 10, 0, ""},                  // six bits make no byte
        {"", 10, 0, ""},
        {"=YWJj", 10, 0, ""},
        {"YQ", 0, 0, ""},
        {"YQ", -1, 0, ""},
    };
    for (const auto &c : cases) {
        unsigned char buffer[16];
        memset(buffer, 0xEE, sizeof buffer);
        EXPECT_EQ(base64_decode(buffer, c.size, c.text), c.result) << c.text << " " << c.size;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), c.bytes.size()), c.bytes)
            << c.text << " " << c.size;
        EXPECT_EQ(buffer[c.bytes.size()], 0xEE) << c.text << " " << c.size;
    }
    unsigned char buffer[4];
    EXPECT_EQ(base64_decode(buffer, 4, nullptr), 0);
    EXPECT_EQ(base64_decode(nullptr, 4, "YWJj"), 0);
}

TEST(Base64, DecodeAppend)
{
    struct {
        const char *before;
        const char *text;
        int result;
        const char *after;
    } cases[] = {
        {"", "YWJjZA==", 1, "abcd"},
        {"x:", "YWJjZA", 1, "x:abcd"},
        {"x", "YW=j", 1, "xa"},
        {"", "Y!Jj", 1, "\x60\x02\x63"},
        {"x", "", 1, "x"},
        {"x", nullptr, 0, "x"},
    };
    for (const auto &c : cases) {
        fixed_string s(c.before);
        EXPECT_EQ(base64_decode_append(s, c.text), c.result) << (c.text ? c.text : "null");
        EXPECT_STREQ(s.c_str(), c.after);
    }
    fixed_string zero("x");
    EXPECT_EQ(base64_decode_append(zero, "YQBi"), 1);   // a, a zero byte, b
    EXPECT_EQ(std::string(zero.c_str(), size_t(zero.size())), std::string("xa\0b", 4));

    const int max = fixed_string::max_length;
    fixed_string s;
    prefill(s, max - 3);
    EXPECT_EQ(base64_decode_append(s, "YWI="), 1);
    EXPECT_EQ(s.size(), max - 1);
    EXPECT_EQ(base64_decode_append(s, "Yw=="), 0);   // the byte reaches 5999 characters
    EXPECT_EQ(s.size(), max);
    EXPECT_EQ(base64_decode_append(s, "ZGVm"), 0);   // nothing more fits
    EXPECT_EQ(s.size(), max);
    EXPECT_EQ(std::string(s.c_str()).substr(size_t(max - 4)), "xabc");
}

TEST(Base64, RoundTripThroughFixedStrings)
{
    std::mt19937 random(7);
    for (int length = 1; length <= 300; length++) {
        std::string data(size_t(length), 'a');
        for (auto &byte : data)
            byte = char(random() % 256);
        fixed_string text;
        ASSERT_EQ(base64_encode(text, data.data(), length), 1);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        fixed_string back;
        ASSERT_EQ(base64_decode_append(back, text.c_str()), 1);
        EXPECT_EQ(std::string(back.c_str(), size_t(back.size())), data) << "length " << length;
    }
}
