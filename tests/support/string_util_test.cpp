// Word splitting, word comparisons and lists, parse_int_text, safe_strcpy, the keyword-list
// editor and wildcard_match.
#include "support/string_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/debug_log.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

namespace {

// Offset of a returned position in `text`, -1 for null.
long offset(const char *text, const char *position) { return position ? position - text : -1; }

} // namespace

// ---- splitting -----------------------------------------------------------------------------

TEST(NextArg, FindsTheSecondWord)
{
    struct {
        const char *text;
        long next_arg, next_arg_eol, last_arg;   // offsets, -1 for null
    } cases[] = {
        {"  alpha\tbeta", 8, -1, 8},      // a tab separates for next_arg only
        {"alpha   ", -1, -1, 0},
        {"", -1, -1, 0},
        {"   ", -1, -1, 0},
        {"a b c", 2, 2, 4},
        {"a b\nc", 2, 2, 4},
        {"a\nb", 2, -1, 2},              // a line feed ends the line for next_arg_eol
        {"a \nb", 3, -1, 3},
        {"a\tb c", 2, 4, 4},
        {"  a  b", 5, 5, 5},
        {"a\r b", 3, 3, 3},              // carriage return is part of a word
        {"\n a b", 4, -1, 4},
        {"a b  ", 2, 2, 2},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(offset(c.text, next_arg(c.text)), c.next_arg) << '"' << c.text << '"';
        EXPECT_EQ(offset(c.text, next_arg_eol(c.text)), c.next_arg_eol) << '"' << c.text << '"';
        EXPECT_EQ(offset(c.text, last_arg(c.text)), c.last_arg) << '"' << c.text << '"';
    }
}

TEST(NextArg, NullIsReportedAtTheTracingLevel)
{
    test_util::log_capture log(3);
    EXPECT_EQ(next_arg(nullptr), nullptr);
    EXPECT_EQ(next_arg_eol(nullptr), nullptr);
    EXPECT_EQ(last_arg(nullptr), nullptr);
    EXPECT_EQ(log.text(), "Error in next_arg(), NULL pointer passed in.\n"
                          "Error in next_arg_eol(), NULL pointer passed in.\n"
                          "Error in last_arg(), NULL pointer passed in.\n");
}

// ---- comparisons ---------------------------------------------------------------------------

TEST(FirstWord, EqualPrefixAndAbbreviation)
{
    struct {
        const char *a, *b;
        int min_length;
        int equal, prefix, abbrev;
    } cases[] = {
        {"Launcher_Config x", "launcher_config", 1, 1, 15, 15},
        {"launcher_config2", "launcher_config", 1, 0, 0, 0},
        {"lau", "Launcher", 3, 0, 3, 3},
        {"lau", "Launcher", 4, 0, 3, 0},          // too short, and not the whole word
        {"help", "HELP me", 9, 1, 4, 4},          // the whole word is enough
        {"helpx", "help", 1, 0, 0, 0},
        {"ab", "a b", 1, 0, 0, 0},                // a blank ends b's word
        {"abc\tz", "ABC\ny", 1, 1, 3, 3},
        {"a\rb", "a", 1, 0, 0, 0},                // carriage return does not end a word
        {"a\r", "A\r", 1, 1, 2, 2},
        {"HTTP/", "http/1.1 200", 1, 0, 5, 5},
        {"-f", "-force", 2, 0, 2, 2},
        {"-", "-force", 2, 0, 1, 0},
        {"-", "-", 2, 1, 1, 1},
        {"", "", 0, 1, 0, 0},                     // empty words are equal but prefix nothing
        {" x", "\ty", 0, 1, 0, 0},
        {"", "x", 0, 0, 0, 0},
        {"x", "", 0, 0, 0, 0},
        {"@", "`", 1, 0, 0, 0},                   // only letters fold
        {"[", "{", 1, 0, 0, 0},
        {"\xc3\xa9", "\xc3\x89", 1, 0, 0, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(first_word_equal(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(first_word_prefix(c.a, c.b), c.prefix) << c.a << " / " << c.b;
        EXPECT_EQ(first_word_abbrev(c.a, c.b, c.min_length), c.abbrev) << c.a << " / " << c.b;
    }
    EXPECT_EQ(first_word_equal(nullptr, ""), 0);
    EXPECT_EQ(first_word_equal("", nullptr), 0);
    EXPECT_EQ(first_word_prefix(nullptr, "a"), 0);
    EXPECT_EQ(first_word_abbrev("a", nullptr, 0), 0);
}

TEST(FirstWord, WordsOfTheCompareLimitNeverMatch)
{
    for (int length : {word_compare_limit - 1, word_compare_limit, word_compare_limit + 1}) {
        std::string word(length, 'w');
        std::string upper(length, 'W');
        int expected = length < word_compare_limit;
        EXPECT_EQ(first_word_equal(word.c_str(), (upper + " tail").c_str()), expected) << length;
        EXPECT_EQ(first_word_prefix(word.c_str(), (word + "x").c_str()), expected ? length : 0);
        EXPECT_EQ(first_word_abbrev(word.c_str(), word.c_str(), 1), expected ? length : 0);
    }
}

// ---- lists ---------------------------------------------------------------------------------

TEST(WordLists, MembershipOfTheFirstWord)
{
    struct {
        const char *word, *list;
        int expected;
    } cases[] = {
        {"-B", "-b --beta", 1},
        {"--BETA", "-b --beta", 1},
        {"-bx", "-b --beta", 0},
        {"-b more", "-b --beta", 1},
        {"--HELP", "-h --help", 1},
        {"-hx", "-h --help", 0},
        {"-", "-h --help", 0},
        {"", "-h --help", 0},
        {" -b", "-b", 0},                 // a leading blank makes an empty first word
        {"-h", "", 0},
        {"-h", "   ", 0},
        {"", "", 0},                      // an empty list holds no word, not an empty one
        {"-h", "  -h", 1},                // leading blanks of a list are skipped
        {"b", "a\tb\nc", 1},
        {"--beta", "-b --beta ", 1},
        {"chunked", "gzip, chunked", 1},
        {"identity", "gzip, chunked", 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(word_in_list(c.word, c.list), c.expected) << c.word << " in " << c.list;
        EXPECT_EQ(list_contains_word(c.list, c.word), c.expected) << c.word << " in " << c.list;
    }
    EXPECT_EQ(word_in_list(nullptr, "a"), 0);
    EXPECT_EQ(word_in_list("a", nullptr), 0);
    EXPECT_EQ(list_contains_word(nullptr, "a"), 0);
}

TEST(WordLists, AllWordsPrefixesAndAbbreviations)
{
    struct {
        const char *list, *words;
        int all_words, prefix, all_prefixes;
    } cases[] = {
        {"alpha beta gamma", "gamma ALPHA", 1, 1, 1},
        {"alpha beta gamma", "al be", 0, 1, 1},
        {"alpha beta gamma", "alpha delta", 0, 1, 0},
        {"alpha beta gamma", "de al", 0, 0, 0},
        {"alpha", "alphas", 0, 0, 0},
        {"alpha", "", 1, 0, 1},           // no words: all of them are there
        {"alpha", "  ", 1, 0, 1},
        {"", "a", 0, 0, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(list_contains_all_words(c.list, c.words), c.all_words) << c.words << " / " << c.list;
        EXPECT_EQ(prefix_in_list(c.list, c.words), c.prefix) << c.words << " / " << c.list;
        EXPECT_EQ(all_prefixes_in_list(c.list, c.words), c.all_prefixes) << c.words << " / " << c.list;
    }
    EXPECT_EQ(list_contains_all_words("a", nullptr), 0);
    EXPECT_EQ(list_contains_all_words(nullptr, "a"), 0);
    EXPECT_EQ(prefix_in_list(nullptr, "a"), 0);
    EXPECT_EQ(all_prefixes_in_list("a", nullptr), 1);
    EXPECT_EQ(all_prefixes_in_list(nullptr, nullptr), 1);
    EXPECT_EQ(all_prefixes_in_list(nullptr, "a"), 0);

    struct {
        const char *word, *list;
        int min_length, expected;
    } abbrev_cases[] = {
        {"he", "help quit", 3, 0},
        {"hel", "help quit", 3, 1},
        {"QU", "help quit", 2, 1},
        {"q", "help q", 3, 1},            // the whole of a short word
        {"quits", "help quit", 1, 0},
        {"", "help", 0, 0},
    };
    for (const auto &c : abbrev_cases)
        EXPECT_EQ(abbrev_in_list(c.word, c.list, c.min_length), c.expected) << c.word;
    EXPECT_EQ(abbrev_in_list(nullptr, "a", 1), 0);
    EXPECT_EQ(abbrev_in_list("a", nullptr, 1), 0);
}

// ---- keyword lists -------------------------------------------------------------------------

TEST(KeywordLine, TogglesWordsOfAHeapList)
{
    struct {
        const char *keyword;
        const char *message;
        const char *list_after;   // null: no list
    } steps[] = {
        {"null", "List is already empty.", nullptr},
        {"b", "Keyword added.", "b"},
        {"a more words", "Keyword added.", "a b"},   // only the first word, at the front
        {"a", "Keyword removed.", "b"},
        {"a", "Keyword added.", "a b"},
        {"a", "Keyword removed.", "b"},
        {"B", "Keyword removed.", nullptr},          // the last word leaves no list
        {"x", "Keyword added.", "x"},
        {"NULL", "List deleted.", nullptr},
    };
    char *list = nullptr;
    for (const auto &s : steps) {
        EXPECT_STREQ(add_remove_keyword_line(s.keyword, &list), s.message) << s.keyword;
        if (s.list_after)
            EXPECT_STREQ(list, s.list_after) << s.keyword;
        else
            EXPECT_EQ(list, nullptr) << s.keyword;
    }
    free(list);
}

TEST(KeywordLine, RemovesEveryOccurrenceAndRebuildsSingleSpaced)
{
    char *list = strdup("a  b\ta");
    EXPECT_STREQ(add_remove_keyword_line("b", &list), "Keyword removed.");
    EXPECT_STREQ(list, "a a");
    EXPECT_STREQ(add_remove_keyword_line("c", &list), "Keyword added.");
    EXPECT_STREQ(list, "c a a");
    EXPECT_STREQ(add_remove_keyword_line("A", &list), "Keyword removed.");
    EXPECT_STREQ(list, "c");
    EXPECT_STREQ(add_remove_keyword_line("Null", &list), "List deleted.");
    EXPECT_EQ(list, nullptr);
}

TEST(KeywordLine, LongListsAreNotCut)
{
    std::string words;
    for (int i = 0; i < 2000; ++i)
        words += " w" + std::to_string(i);
    char *list = strdup(words.c_str() + 1);
    EXPECT_STREQ(add_remove_keyword_line("front", &list), "Keyword added.");
    EXPECT_EQ(std::string(list), "front" + words);
    EXPECT_STREQ(add_remove_keyword_line("w1999", &list), "Keyword removed.");
    EXPECT_EQ(std::string(list), "front" + words.substr(0, words.size() - strlen(" w1999")));
    free(list);
}

TEST(KeywordLine, MisuseLeavesTheListAlone)
{
    test_util::log_capture log(3);
    char *list = strdup("a b");
    EXPECT_EQ(add_remove_keyword_line(nullptr, &list), nullptr);
    EXPECT_EQ(add_remove_keyword_line("a", nullptr), nullptr);
    EXPECT_EQ(add_remove_keyword_line("", &list), nullptr);
    EXPECT_EQ(add_remove_keyword_line(" a", &list), nullptr);
    EXPECT_STREQ(list, "a b");
    free(list);
    EXPECT_EQ(log.text(), "Error in add_remove_keyword_line(), null dest?\n"
                          "Error in add_remove_keyword_line(), null dest?\n"
                          "Error in add_remove_keyword_line(), empty keyword.\n"
                          "Error in add_remove_keyword_line(), empty keyword.\n");
}

// ---- numbers -------------------------------------------------------------------------------

TEST(ParseIntText, AcceptsNumbersWithinTheIntRange)
{
    struct {
        const char *text;
        int accepted;
        int value;
    } cases[] = {
        {"7", 1, 7},
        {"+", 1, 0},
        {"+5", 1, 5},
        {"+x", 1, 0},
        {"-1", 1, -1},
        {"-0", 1, 0},
        {"12abc", 1, 12},
        {"0x10", 1, 0},                      // base 10 only
        {"42 17", 1, 42},
        {"00000000000000000000000042", 1, 42},
        {"2147483647", 1, 2147483647},
        {"-2147483648", 1, -2147483647 - 1},
        {"-", 0, 0},
        {"-a", 0, 0},
        {" 1", 0, 0},
        {"x", 0, 0},
        {"", 0, 0},
        {"--1", 0, 0},
        {"2147483648", 0, 0},                // out of range is no number, not a wrapped one
        {"-2147483649", 0, 0},
        {"4294967297", 0, 0},
        {"4294967296", 0, 0},
        {"9223372036854775807", 0, 0},
        {"9223372036854775808", 0, 0},
        {"-9223372036854775809", 0, 0},
        {"123456789012345678901234567890", 0, 0},
    };
    for (const auto &c : cases) {
        int value = -777;
        EXPECT_EQ(parse_int_text(c.text, &value), c.accepted) << '"' << c.text << '"';
        EXPECT_EQ(value, c.accepted ? c.value : -777) << '"' << c.text << '"';
        EXPECT_EQ(parse_int_text(c.text, nullptr), c.accepted) << '"' << c.text << '"';
    }
    int value = -777;
    EXPECT_EQ(parse_int_text(nullptr, &value), 0);
    EXPECT_EQ(value, -777);
}

// ---- bounded copy --------------------------------------------------------------------------

TEST(SafeStrcpy, CopiesWithinTheSizeAndReports)
{
    struct {
        const char *src;
        int size;
        int result;
        const char *dest;    // null: dest untouched
        const char *report;  // "" for none
    } cases[] = {
        {"abc", 4, 1, "abc", ""},
        {"", 1, 1, "", ""},
        {"abcdef", 4, 0, "abc",
         "Error in safe_strcpy(), src overflow. String was: ->abcdef<-\n"},
        {"abcd", 4, 0, "abc", "Error in safe_strcpy(), src overflow. String was: ->abcd<-\n"},
        {"a", 1, 0, "", "Error in safe_strcpy(), src overflow. String was: ->a<-\n"},
        {"a", 0, 0, nullptr, "Error in safe_strcpy(), dest too short.\n"},
        {"a", -5, 0, nullptr, "Error in safe_strcpy(), dest too short.\n"},
        {nullptr, 4, 0, "", "Error in safe_strcpy(), NULL src.\n"},
    };
    for (const auto &c : cases) {
        test_util::log_capture log(3);
        char buffer[16];
        memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(safe_strcpy(buffer, c.src, c.size), c.result) << c.src << " into " << c.size;
        if (c.dest)
            EXPECT_STREQ(buffer, c.dest);
        else
            EXPECT_EQ(buffer[0], 'Z');
        for (int i = c.size > 0 ? c.size : 0; i < int(sizeof buffer); ++i)
            EXPECT_EQ(buffer[i], 'Z') << "byte " << i << " written beyond the size";
        EXPECT_EQ(log.text(), c.report);
    }
    test_util::log_capture log(3);
    EXPECT_EQ(safe_strcpy(nullptr, "a", 4), 0);
    EXPECT_EQ(log.text(), "Error in safe_strcpy(), NULL dest.\n");
}

// ---- wildcards -----------------------------------------------------------------------------

TEST(WildcardMatch, StarsStandForAnyRun)
{
    struct {
        const char *text, *pattern;
        int expected;
    } cases[] = {
        {"abcxyz", "a*z", 1},
        {"abc", "a*b", 0},
        {"", "*", 1},
        {"anything at all", "*", 1},
        {"abc", "abc", 1},
        {"abc", "ab", 0},
        {"ab", "abc", 0},
        {"", "", 1},
        {"a", "", 0},
        {"ABC", "abc", 0},                 // case-sensitive
        {"abc", "**c", 1},
        {"abcbc", "a*bc", 1},              // the tail segment matches the end
        {"abcbcx", "a*bc*x", 1},
        {"aXbXc", "a*b*c", 1},
        {"mississippi", "m*iss*ppi", 1},
        {"mississippi", "m*iss*ppj", 0},
        {"mississippi", "*sip*", 1},
        {"mississippi", "*ssp*", 0},
        {"manifest_linux64.txt.gz", "manifest_*.gz", 1},
        {"manifest_linux64.txt.gz", "manifest_*.txt", 0},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*a*c", 0},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*a*b", 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wildcard_match(c.text, c.pattern), c.expected) << c.text << " ~ " << c.pattern;
    EXPECT_EQ(wildcard_match(nullptr, "*"), 0);
    EXPECT_EQ(wildcard_match("a", nullptr), 0);
}
