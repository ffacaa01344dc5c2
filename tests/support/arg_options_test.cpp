// Option matching and removal in argument lines.
#include "support/arg_options.h"

#include <gtest/gtest.h>

#include <string>

TEST(OptionMatch, DashesAbbreviationsAndPlainWords)
{
    struct {
        const char *arg, *option;
        int flags, expected;
    } cases[] = {
        {"-f", "-force", OPTION_ABBREV, 1},
        {"-fo", "-force", OPTION_ABBREV, 1},
        {"--force", "-force", OPTION_ABBREV, 1},
        {"--force", "-force", 0, 1},
        {"--FORCE now", "-force", 0, 1},
        {"-FORCE", "-force", 0, 1},
        {"-force more", "-force", 0, 1},
        {"-", "-force", OPTION_ABBREV, 0},
        {"", "-force", OPTION_ABBREV, 0},
        {"-f", "-force", 0, 0},
        {"-forcex", "-force", OPTION_ABBREV, 0},
        {"--fo", "-force", OPTION_ABBREV, 0},
        {"x-force", "-force", 0, 0},           // only a dash doubles the option's dash
        {"force", "-force", OPTION_ABBREV, 0},
        {"verb", "verbose", OPTION_ABBREV, 1},
        {"v", "verbose", OPTION_ABBREV, 1},
        {"verb", "verbose", 0, 0},
        {"VERBOSE", "verbose", 0, 1},
        {"verbosely", "verbose", OPTION_ABBREV, 0},
        {"-verbose", "verbose", 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(option_match(c.arg, c.option, c.flags), c.expected)
            << '"' << c.arg << "\" for " << c.option << " flags " << c.flags;
    EXPECT_EQ(option_match(nullptr, "-force", OPTION_ABBREV), 0);
    EXPECT_EQ(option_match("-f", nullptr, OPTION_ABBREV), 0);
}

TEST(DashOptionMatch, SameDashesThenAnAbbreviation)
{
    struct {
        const char *arg, *option;
        int expected;
    } cases[] = {
        {"-fo", "-force", 1},
        {"-force", "-force", 1},
        {"-f rest", "-force", 1},           // the word ends at a space
        {"-forcex", "-force", 0},           // running past the option fails
        {"-", "-force", 0},                 // at least one byte after the dashes
        {"--force", "-force", 0},
        {"-fo", "--force", 0},
        {"--fo", "--force", 1},
        {"-F", "-force", 0},                // case-sensitive
        {"-fo\trest", "-force", 0},         // a tab does not end the word
        {"-f", "force", 1},                 // a dashless option is written with one dash
        {"-force", "force", 1},
        {"--f", "force", 0},
        {"f", "force", 0},
        {"-", "force", 0},
        {"-x", "--", 0},
        {"-", "", 0},
        {"", "", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(dash_option_match(c.arg, c.option), c.expected) << '"' << c.arg << "\" for " << c.option;
    EXPECT_EQ(dash_option_match(nullptr, "-f"), 0);
    EXPECT_EQ(dash_option_match("-f", nullptr), 0);
}

TEST(ExtractOption, RemovesOneOccurrence)
{
    struct {
        const char *args, *option;
        int flags, result;
        const char *out;
    } cases[] = {
        {"run -force now", "-force", OPTION_ANYWHERE, 1, "run now"},
        {"run -force", "-force", OPTION_ANYWHERE, 1, "run"},
        {"-force", "-force", OPTION_ANYWHERE, 1, ""},
        {"-force", "-force", OPTION_LAST, 1, ""},
        {"-force  now  later", "-force", OPTION_FIRST, 1, "now  later"},   // the rest unchanged
        {"  -force x", "-force", OPTION_FIRST, 1, "x"},                     // leading blanks skipped
        {"run \t-force", "-force", OPTION_LAST, 1, "run"},
        {"run  now \t-force  ", "-force", OPTION_LAST, 1, "run  now"},
        {"run -force", "-force", OPTION_FIRST, 0, ""},
        {"-force run", "-force", OPTION_LAST, 0, ""},
        {"run -force now", "-force", OPTION_FIRST | OPTION_LAST, 0, ""},
        {"run   now  x", "-force", OPTION_ANYWHERE, 0, "run now x"},       // rebuilt single-spaced
        {"a  b -force  c   d", "-force", OPTION_ANYWHERE, 1, "a b c   d"},
        {"a -force b -force c", "-force", OPTION_ANYWHERE, 1, "a b -force c"},
        {"run -f now", "-force", OPTION_ANYWHERE, 0, "run -f now"},
        {"run -f now", "-force", OPTION_ANYWHERE | OPTION_ABBREV, 1, "run now"},
        {"run --force now", "-force", OPTION_ANYWHERE, 1, "run now"},
        {"", "-force", OPTION_ANYWHERE, 0, ""},
    };
    for (const auto &c : cases) {
        fixed_string out("stale");
        EXPECT_EQ(extract_option(c.args, out, c.option, c.flags), c.result)
            << '"' << c.args << "\" flags " << c.flags;
        EXPECT_STREQ(out.c_str(), c.out) << '"' << c.args << "\" flags " << c.flags;
    }
    fixed_string out("stale");
    EXPECT_EQ(extract_option(nullptr, out, "-force", OPTION_ANYWHERE), 0);
    EXPECT_STREQ(out.c_str(), "");
    out.assign("stale");
    EXPECT_EQ(extract_option("a", out, nullptr, OPTION_ANYWHERE), 0);
    EXPECT_STREQ(out.c_str(), "");
}

TEST(ExtractOption, LongLinesAreCutAtTheCapacity)
{
    std::string line = "-force";
    while (line.size() < 10000)
        line += " word";
    fixed_string out;
    EXPECT_EQ(extract_option(line.c_str(), out, "-force", OPTION_ANYWHERE), 1);
    EXPECT_EQ(out.size(), fixed_string::max_length);
    EXPECT_EQ(std::string(out.c_str()), line.substr(7, fixed_string::max_length));
}

TEST(StripOption, ReportsWhetherTheOptionWasThere)
{
    struct {
        const char *args;
        int found;
        const char *result;   // null, or "=args" for the argument itself
    } cases[] = {
        {"run -f now", 1, "run now"},
        {"run --force", 1, "run"},
        {"run now", 0, "=args"},
        {"-force", 1, nullptr},
        {"", 0, nullptr},
        {nullptr, 0, nullptr},
    };
    for (const auto &c : cases) {
        fixed_string out;
        int found = -1;
        const char *result = strip_option(c.args, out, "-force", &found);
        EXPECT_EQ(found, c.found) << (c.args ? c.args : "(null)");
        if (!c.result)
            EXPECT_EQ(result, nullptr) << (c.args ? c.args : "(null)");
        else if (std::string(c.result) == "=args")
            EXPECT_EQ(result, c.args);
        else
            EXPECT_STREQ(result, c.result);
    }
    fixed_string out;
    int found = 0;
    EXPECT_STREQ(strip_force_option("go -fo fast", out, &found), "go fast");
    EXPECT_EQ(found, 1);
    EXPECT_STREQ(strip_force_option("go -x", out, nullptr), "go -x");
}

TEST(RemoveOptions, EveryOccurrenceOfEachWord)
{
    struct {
        const char *args, *options, *out;
    } cases[] = {
        {"a -x b -y c -x", "-x -y", "a b c"},
        {"-x -x -x", "-x", ""},
        {"-x a -y -x", "-y  -x", "a"},
        {"a --x  b", "-x", "a b"},
        {"a  b", "", "a  b"},
        {"a  b", nullptr, "a  b"},
        {"a -xy b", "-x", "a -xy b"},
        {nullptr, "-x", "(null)"},
    };
    for (const auto &c : cases) {
        fixed_string out("stale");
        remove_options(c.args, out, c.options);
        EXPECT_STREQ(out.c_str(), c.out) << (c.args ? c.args : "(null)");
    }
    fixed_string in_place("keep -x this -x");
    remove_options(in_place.c_str(), in_place, "-x");
    EXPECT_STREQ(in_place.c_str(), "keep this");
}
