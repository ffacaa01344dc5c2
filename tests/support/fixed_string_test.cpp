// fixed_string: bounded appends.
#include "support/fixed_string.h"

#include <gtest/gtest.h>
#include <string>

TEST(FixedString, AppendStopsAtMaxLength)
{
    fixed_string s;
    std::string long_text(6000, 'x');
    long_text[5998] = 'y';
    long_text[5999] = 'z';
    s.append(long_text.c_str());
    EXPECT_EQ(s.size(), 5999);
    EXPECT_EQ(std::string(s.c_str()), long_text.substr(0, 5999));
    s.append("more");
    s.append('c');
    EXPECT_EQ(s.size(), 5999);
    EXPECT_EQ(s.c_str()[5998], 'y');
    EXPECT_EQ(s.c_str()[5999], '\0');
}

TEST(FixedString, AppendPieces)
{
    struct {
        const char *first;
        const char *second;
        const char *expected;
    } cases[] = {
        {"", "", ""},
        {"a", nullptr, "a(null)"},
        {nullptr, "", "(null)"},
        {"/home", "/.Morvelle", "/home/.Morvelle"},
    };
    for (const auto &c : cases) {
        fixed_string s;
        s.append(c.first);
        s.append(c.second);
        EXPECT_STREQ(s.c_str(), c.expected);
        EXPECT_EQ(size_t(s.size()), strlen(c.expected));
    }
}

TEST(FixedString, CharactersAndNumbers)
{
    fixed_string s("n=");
    s.append_int(-2147483648LL);
    s.append(' ');
    s.append_int(0);
    EXPECT_STREQ(s.c_str(), "n=-2147483648 0");
    s.append('\0');   // a byte like any other: counted, though C-string readers stop at it
    s.append('z');
    EXPECT_EQ(s.size(), 17);
    EXPECT_EQ(std::string(s.c_str(), size_t(s.size())), std::string("n=-2147483648 0\0z", 17));
    s.assign("again");
    EXPECT_STREQ(s.c_str(), "again");
    s.clear();
    EXPECT_TRUE(s.empty());
    EXPECT_STREQ(s.c_str(), "");
}
