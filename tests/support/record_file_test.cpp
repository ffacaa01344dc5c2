// Tagged record lists (read, write, round trip), pair lists and number-array lines.
#include "support/record_file.h"

#include "tests/common/log_capture.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A record as plain values, for building lists and comparing them.
struct record_value {
    int e[3];
    const char *a;
    const char *s;
    const char *l;
};

bool same_text(const char *x, const char *y)
{
    return (!x && !y) || (x && y && strcmp(x, y) == 0);
}

std::string show(const char *text) { return text ? "'" + std::string(text) + "'" : "none"; }

extra_desc *make_list(const std::vector<record_value> &values)
{
    extra_desc *list = nullptr;
    for (const auto &v : values) {
        extra_desc *r = new_extra_desc();
        for (int i = 0; i < 3; ++i)
            r->e_values[i] = v.e[i];
        r->a_text = v.a ? strdup(v.a) : nullptr;
        r->s_text = v.s ? strdup(v.s) : nullptr;
        r->l_text = v.l ? strdup(v.l) : nullptr;
        append_extra_desc(&list, r);
    }
    return list;
}

// Checks `list` against `expected`, record by record.
void expect_list(const extra_desc *list, const std::vector<record_value> &expected)
{
    size_t n = 0;
    for (const extra_desc *r = list; r; r = r->next, ++n) {
        ASSERT_LT(n, expected.size()) << "more records than expected";
        const auto &v = expected[n];
        SCOPED_TRACE("record " + std::to_string(n));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(r->e_values[i], v.e[i]) << "value " << i;
        EXPECT_TRUE(same_text(r->a_text, v.a)) << show(r->a_text) << " vs " << show(v.a);
        EXPECT_TRUE(same_text(r->s_text, v.s)) << show(r->s_text) << " vs " << show(v.s);
        EXPECT_TRUE(same_text(r->l_text, v.l)) << show(r->l_text) << " vs " << show(v.l);
    }
    EXPECT_EQ(n, expected.size());
}

// A stream over a copy of `bytes`; fmemopen refuses an empty buffer, so that is /dev/null.
FILE *open_input(std::string &bytes)
{
    return bytes.empty() ? fopen("/dev/null", "r") : fmemopen(&bytes[0], bytes.size(), "r");
}

// Everything `write` puts on a memory stream.
template <class F> std::string written(F write)
{
    char *data = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&data, &size);
    write(out);
    fclose(out);
    std::string text(data, size);
    free(data);
    return text;
}

int read_list(std::string input, extra_desc **list)
{
    FILE *in = open_input(input);
    int n = fget_extra_list(in, list);
    fclose(in);
    return n;
}

} // namespace

TEST(FgetExtraList, Cases)
{
    struct {
        const char *name;
        std::string input;
        std::vector<record_value> records;
        std::string report;
    } cases[] = {
        {"two S lines", "#S first\n#S second\n#end\n",
         {{{0, 0, 0}, nullptr, "first", nullptr}, {{0, 0, 0}, nullptr, "second", nullptr}}, ""},
        {"one full record", "#E 1 2 3\n#A x\n#L y;\n#end\n", {{{1, 2, 3}, "x", nullptr, "y"}}, ""},
        {"L text over lines", "#L one\ntwo;\n#S s\n#end\n",
         {{{0, 0, 0}, nullptr, nullptr, "one\ntwo"}, {{0, 0, 0}, nullptr, "s", nullptr}}, ""},
        {"E starts every record", "#E 1 0 0\n#E 2 0 0\n#end\n",
         {{{1, 0, 0}, nullptr, nullptr, nullptr}, {{2, 0, 0}, nullptr, nullptr, nullptr}}, ""},
        {"a later kind joins, an earlier one starts anew", "#A a\n#S s\n#A b\n#L l;\n#L m;\n",
         {{{0, 0, 0}, "a", "s", nullptr}, {{0, 0, 0}, "b", nullptr, "l"}, {{0, 0, 0}, nullptr, nullptr, "m"}}, ""},
        {"no end line", "#S only", {{{0, 0, 0}, nullptr, "only", nullptr}}, ""},
        {"end in any case", "#END\n#S after\n", {}, ""},
        {"empty stream", "", {}, ""},
        {"text before tags is skipped", "comment\n  #S x\n#end", {{{0, 0, 0}, nullptr, "x", nullptr}}, ""},
        {"empty texts", "#A \n#S \n#end\n", {{{0, 0, 0}, "", "", nullptr}}, ""},
        {"rest of tag not looked at", "#Extra 4 5 6\n#Apple pie\n#end\n", {{{4, 5, 6}, "pie", nullptr, nullptr}}, ""},
        {"invalid tag keeps what was read", "#S a\n#Q b\n#S c\n#end\n",
         {{{0, 0, 0}, nullptr, "a", nullptr}}, "Error in fget_extra_list(), invalid tag 'Q' found.\n"},
        {"endless is not end", "#endless\n", {}, "Error in fget_extra_list(), invalid tag 'endless' found.\n"},
        {"lower-case kind letters are invalid", "#s x\n", {}, "Error in fget_extra_list(), invalid tag 's' found.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test_util::log_capture log;
        extra_desc *list = make_list({{{9, 9, 9}, "old", "old", "old"}});   // replaced
        EXPECT_EQ(read_list(c.input, &list), int(c.records.size()));
        expect_list(list, c.records);
        EXPECT_EQ(log.text(), c.report);
        free_extra_list(&list);
    }
}

TEST(FputExtraList, WrittenForm)
{
    struct {
        const char *name;
        std::vector<record_value> records;
        std::string text;
    } cases[] = {
        {"empty list", {}, "#end\n"},
        {"zero values with an A text has no E line", {{{0, 0, 0}, "x", nullptr, nullptr}}, "#A x\n#end\n"},
        {"a record without anything", {{{0, 0, 0}, nullptr, nullptr, nullptr}}, "#E 0 0 0\n#end\n"},
        {"every line in order", {{{1, -2, 3}, "a", "s", "l"}}, "#E 1 -2 3\n#A a\n#S s\n#L l;\n#end\n"},
        {"records that stay apart by themselves",
         {{{0, 0, 0}, nullptr, "s1", nullptr}, {{0, 0, 0}, "a2", nullptr, nullptr}},
         "#S s1\n#A a2\n#end\n"},
        // Without its E line the second record would be read as part of the first.
        {"record that would join the previous one",
         {{{0, 0, 0}, "a1", nullptr, nullptr}, {{0, 0, 0}, nullptr, "s2", nullptr}},
         "#A a1\n#E 0 0 0\n#S s2\n#end\n"},
        {"after a values-only record",
         {{{5, 0, 0}, nullptr, nullptr, nullptr}, {{0, 0, 0}, "a", nullptr, nullptr}},
         "#E 5 0 0\n#E 0 0 0\n#A a\n#end\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        extra_desc *list = make_list(c.records);
        std::string text = written([&](FILE *out) { EXPECT_EQ(fput_extra_list(out, list), 1); });
        EXPECT_EQ(text, c.text);
        extra_desc *back = nullptr;
        EXPECT_EQ(read_list(text, &back), int(c.records.size()));
        expect_list(back, c.records);
        free_extra_list(&list);
        free_extra_list(&back);
    }
}

TEST(FputExtraList, RoundTripOfMixedRecords)
{
    const std::string long_text(16383, 'q');   // the longest text a reader keeps
    std::vector<record_value> records = {
        {{INT_MIN, INT_MAX, 0}, nullptr, nullptr, nullptr},
        {{0, 0, 0}, "", nullptr, nullptr},
        {{0, 0, 0}, nullptr, nullptr, "multi\nline\n text # with a hash"},
        {{0, 0, 0}, nullptr, " leading spaces", nullptr},
        {{0, 0, 0}, "a", nullptr, nullptr},
        {{0, 0, 0}, nullptr, nullptr, "l after a"},
        {{7, 8, 9}, "#A looks like a tag", "#end", ""},
        {{0, 0, 0}, long_text.c_str(), nullptr, long_text.c_str()},
        {{0, 0, 0}, nullptr, "s", nullptr},
        {{0, 0, 0}, nullptr, "s again", nullptr},
    };
    extra_desc *list = make_list(records);
    std::string text = written([&](FILE *out) { EXPECT_EQ(fput_extra_list(out, list), 1); });
    test_util::log_capture log;
    extra_desc *back = nullptr;
    EXPECT_EQ(read_list(text, &back), int(records.size()));
    expect_list(back, records);
    // A second write of what was read gives the same bytes.
    EXPECT_EQ(written([&](FILE *out) { EXPECT_EQ(fput_extra_list(out, back), 1); }), text);
    // The longest texts fill the reader's buffer exactly, which it warns about.
    EXPECT_EQ(log.occurrences("string overflow"), 2);
    free_extra_list(&list);
    free_extra_list(&back);
}

TEST(FputExtraList, ReportsAWriteError)
{
    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    extra_desc *list = make_list({{{1, 2, 3}, "a", nullptr, nullptr}});
    EXPECT_EQ(fput_extra_list(full, list), 0);
    fclose(full);
    free_extra_list(&list);
}

TEST(FgetPairList, NamesAndTildeTexts)
{
    std::string input = "#first name\ntext one~\n"
                        "# second\nline one\nline ~Two and ~~~ \n"
                        "#End of list\n#ignored\nnot read~\n";
    extra_desc *list = make_list({{{1, 1, 1}, nullptr, "old", nullptr}});
    FILE *in = open_input(input);
    EXPECT_EQ(fget_pair_list(in, &list), 2);
    fclose(in);
    expect_list(list, {{{0, 0, 0}, nullptr, "first name", "text one"},
                       {{0, 0, 0}, nullptr, " second", "line one\nline ~Two and ~~"}});
    free_extra_list(&list);

    std::string no_end = "#only\nits text";
    in = open_input(no_end);
    EXPECT_EQ(fget_pair_list(in, &list), 1);
    fclose(in);
    expect_list(list, {{{0, 0, 0}, nullptr, "only", "its text"}});
    free_extra_list(&list);
}

TEST(NumberArrays, WrittenForm)
{
    std::vector<int> values;
    for (int i = 0; i < 23; ++i)
        values.push_back(i * (i % 2 ? -1 : 1));
    const char bytes[] = {1, -1, char(200), 127};
    struct {
        const char *name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"23 ints", written([&](FILE *o) { EXPECT_EQ(fput_int_array(o, "v", values.data(), 23), 1); }),
         "v0 0 -1 2 -3 4 -5 6 -7 8 -9\nv1 10 -11 12 -13 14 -15 16 -17 18 -19\nv2 20 -21 22\n\n"},
        {"exactly ten", written([&](FILE *o) { EXPECT_EQ(fput_int_array(o, "t", values.data(), 10), 1); }),
         "t0 0 -1 2 -3 4 -5 6 -7 8 -9\n\n"},
        {"no values", written([&](FILE *o) { EXPECT_EQ(fput_int_array(o, "none", values.data(), 0), 1); }), "\n"},
        {"negative count", written([&](FILE *o) { EXPECT_EQ(fput_int_array(o, "n", nullptr, -3), 1); }), "\n"},
        {"bytes as signed numbers",
         written([&](FILE *o) { EXPECT_EQ(fput_char_array(o, "b", bytes, 4), 1); }), "b0 1 -1 -56 127\n\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text, c.expected);
    }
    test_util::log_capture log;
    FILE *sink = fopen("/dev/null", "w");
    EXPECT_EQ(fput_int_array(sink, "x", nullptr, 1), 0);
    EXPECT_EQ(fput_char_array(nullptr, "x", bytes, 1), 0);
    fclose(sink);
    EXPECT_EQ(log.text(), "Error in fput_int_array(), NULL pointer passed in.\n"
                          "Error in fput_char_array(), NULL pointer passed in.\n");
}

TEST(NumberArrays, LinesReadBackIntoTheirSlots)
{
    std::vector<int> values(23);
    for (int i = 0; i < 23; ++i)
        values[i] = 1000 - i * 37;
    std::string text = written([&](FILE *o) { EXPECT_EQ(fput_int_array(o, "v", values.data(), 23), 1); });
    FILE *in = open_input(text);
    std::vector<int> back(23, -1);
    char tag[64];
    int lines = 0;
    // Each line starts with the name and its number; fget_tag-style callers take the digits.
    while (fscanf(in, " v%63[0-9]", tag) == 1) {
        EXPECT_EQ(fget_int_array_line(in, tag, back.data(), 23), 1);
        ++lines;
    }
    fclose(in);
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(back, values);
}

TEST(NumberArrays, LineNumberOutsideTheArray)
{
    struct {
        const char *line_number;
        int count;
        int result;
        std::vector<int> expected;   // the array afterwards
    } cases[] = {
        {"0", 4, 1, {1, 2, 3, 4}},                    // numbers past the count are dropped
        {"1", 14, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}},
        {"1", 10, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"-1", 4, 0, {0, 0, 0, 0}},
        {"99999999999999999999", 4, 0, {0, 0, 0, 0}},
        {"-99999999999999999999", 4, 0, {0, 0, 0, 0}},
        {"x", 4, 1, {1, 2, 3, 4}},                    // no digits: line 0, as strtol gives
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line_number);
        std::string input = "1 2 3 4 5 6 7 8 9 10 11 12\nnext";
        FILE *in = open_input(input);
        std::vector<int> values(c.count, 0);
        EXPECT_EQ(fget_int_array_line(in, c.line_number, values.data(), c.count), c.result);
        EXPECT_EQ(values, c.expected);
        char rest[8] = "";
        EXPECT_EQ(fread(rest, 1, 7, in), 4u);   // the line was consumed in any case
        EXPECT_STREQ(rest, "next");
        fclose(in);
    }
}

TEST(NumberArrays, ByteLines)
{
    std::string input = "1 -1 200 127\n";
    FILE *in = open_input(input);
    char bytes[4] = {};
    EXPECT_EQ(fget_char_array_line(in, "0", bytes, 4), 1);
    fclose(in);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], char(-1));
    EXPECT_EQ(bytes[2], char(200));
    EXPECT_EQ(bytes[3], 127);
}
