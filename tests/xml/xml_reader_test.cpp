// tavi_xml_reader: tags and the tag stack, text and integer data, entities, skipping, CDATA,
// the declaration check, and every report it makes.
#include "xml/xml_reader.h"

#include "support/debug_log.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"
#include "xml/xml_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A real stream holding `text`, and a file reader over it.
class xml_input {
public:
    explicit xml_input(const std::string &text) : file_(make_file(text)), reader(file_) {}
    ~xml_input() { fclose(file_); }
    // What the reader has not consumed yet.
    std::string rest()
    {
        std::string out;
        for (int c; (c = fgetc(file_)) != EOF;)
            out += char(c);
        return out;
    }

private:
    static FILE *make_file(const std::string &text)
    {
        FILE *f = tmpfile();
        if (f) {
            fwrite(text.data(), 1, text.size(), f);
            rewind(f);
        }
        return f;
    }
    FILE *file_;

public:
    tavi_xml_file_reader reader;
};

const char *const config_text = "<launcher_config>\n"
                                "  <launcher_version>1.096-g64-rc4</launcher_version>\n"
                                "  <beta_test_enable>1</beta_test_enable>\n"
                                "</launcher_config>\n"
                                "\n";

} // namespace

TEST(XmlReader, ReadsTheLauncherConfigurationLayout)
{
    test_util::log_capture log(3);
    xml_input in(config_text);
    char tag[1000];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "launcher_config");
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "launcher_version");
    EXPECT_EQ(in.reader.open_tag_count(), 2);
    char text[1000];
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_STREQ(text, "1.096-g64-rc4");
    EXPECT_STREQ(in.reader.open_tag(), "launcher_config");
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "beta_test_enable");
    int flag = -1;
    EXPECT_EQ(in.reader.read_data(&flag), 1);
    EXPECT_EQ(flag, 1);
    // The container's closing tag ends a nested loop with 0 and pops it; then end of input.
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_STREQ(tag, "/launcher_config");
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_EQ(log.text(), "");
}

TEST(XmlReader, LineBreakOrTabInDataFailsSilentlyAndLeavesTheElementOpen)
{
    for (const char *data : {"two\nlines", "a\tb", "cr\r", "nul\x01"}) {
        test_util::log_capture log(3);
        xml_input in(std::string("<a>") + data + "</a>\n<b>2</b>\n");
        char tag[100], text[100];
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        EXPECT_EQ(in.reader.read_data(text, sizeof text), 0) << data;
        EXPECT_STREQ(text, data);
        EXPECT_STREQ(in.reader.open_tag(), "a");
        EXPECT_EQ(log.text(), "") << data;
        // Only the '<' of the closing tag went; the next read_tag passes over the rest of it.
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        EXPECT_STREQ(tag, "b");
        EXPECT_EQ(in.reader.open_tag_count(), 2);
        // The late closing tag of b pops b; a stays until a closing tag pops it with a warning.
        int n = 0;
        EXPECT_EQ(in.reader.read_data(&n), 1);
        EXPECT_EQ(n, 2);
        EXPECT_STREQ(in.reader.open_tag(), "a");
    }
    xml_input in("<a>x\ny</a>");
    char tag[10], text[10];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 0);
    EXPECT_EQ(in.rest(), "/a>");
}

TEST(XmlReader, LongDataIsCutAndTheRestDropped)
{
    xml_input in("<v>abcdefghij</v><w>1</w>");
    char tag[10], text[5];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_STREQ(text, "abcd");
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(in.rest(), "<w>1</w>");
}

TEST(XmlReader, BytesDroppedPastTheBufferAreNotChecked)
{
    // Only stored bytes count: an unprintable byte beyond size-1 does not reject the block.
    xml_input in("<v>ab\tc</v>");
    char tag[10], text[3];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_STREQ(text, "ab");
}

TEST(XmlReader, EntitiesAreDecodedAndUnknownOnesKept)
{
    struct {
        const char *data;
        const char *expected;
        int warnings;
    } cases[] = {
        {"a &lt; b &amp;&amp; c &gt; d", "a < b && c > d", 0},
        {"&amp;lt;", "&lt;", 0},
        {"&quot;x&quot;", "&quot;x&quot;", 2},
        {"&#60;", "&#60;", 1},
        {"&LT;", "&LT;", 1},
        {"tail &", "tail &", 1},
        {"&lt", "&lt", 1},
    };
    for (const auto &c : cases) {
        test_util::log_capture log(3);
        xml_input in(std::string("<e>") + c.data + "</e>");
        char tag[10], text[100];
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        EXPECT_EQ(in.reader.read_data(text, sizeof text), 1) << c.data;
        EXPECT_STREQ(text, c.expected);
        std::vector<std::string> expected(
            c.warnings, "Warning in tavi_xml_reader::compact_string(), unknown '&' conversion found?");
        EXPECT_EQ(log.lines(), expected) << c.data;
    }
}

TEST(XmlReader, EntitiesInTagsAreDecodedToo)
{
    xml_input in("<a&amp;b>1</a&amp;b>");
    char tag[20], text[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "a&b");
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
}

TEST(XmlReader, MismatchedClosingTagIsReportedAndStillPops)
{
    test_util::log_capture log(3);
    xml_input in("<outer><inner>x</other></outer>");
    char tag[20], text[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_STREQ(in.reader.open_tag(), "outer");
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Warning in tavi_xml_reader::pop_stack_entry() - "
                                                     "popped tag 'other' did not match expected tag "
                                                     "'inner'."});
}

TEST(XmlReader, TagTextIsPushedWholeWithAttributes)
{
    test_util::log_capture log(3);
    xml_input in("<item id=\"3\">v</item><!-- note --><?pi x?>");
    char tag[50], text[50];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "item id=\"3\"");
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Warning in tavi_xml_reader::pop_stack_entry() - "
                                                     "popped tag 'item' did not match expected tag "
                                                     "'item id=\"3\"'."});
    // Comments and processing instructions are opening tags to read_tag.
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "!-- note --");
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "?pi x?");
    EXPECT_EQ(in.reader.open_tag_count(), 2);
}

TEST(XmlReader, LongTagIsCutOnTheStack)
{
    std::string name(1500, 't');
    xml_input in("<" + name + ">");
    std::vector<char> tag(2000);
    ASSERT_EQ(in.reader.read_tag(tag.data(), int(tag.size())), 1);
    EXPECT_EQ(std::string(tag.data()), name);
    EXPECT_EQ(std::string(in.reader.open_tag()), name.substr(0, 999));
}

TEST(XmlReader, ShortTagBufferCutsTheTag)
{
    xml_input in("<abcdefgh>x</abcdefgh>");
    char tag[4];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "abc");
    EXPECT_STREQ(in.reader.open_tag(), "abc");
}

TEST(XmlReader, StrayClosingTagIsReportedAndPopsNothing)
{
    test_util::log_capture log(3);
    xml_input in("</ghost><real>1</real>");
    char tag[20];
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Warning in tavi_xml_reader::pop_stack_entry() - "
                                                     "got closing tag 'ghost' with no tag open."});
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "real");
}

TEST(XmlReader, ClosingTagWithoutSlashIsReportedAndStillPops)
{
    // read_data pops with whatever ends the data: here "b" (no slash), then the real close.
    test_util::log_capture log(3);
    xml_input in("<a>1<b>");
    char tag[20], text[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "Warning in tavi_xml_reader::pop_stack_entry() - got bad closing tag 'b'?",
                  "Warning in tavi_xml_reader::pop_stack_entry() - popped tag 'b' did not match "
                  "expected tag 'a'."}));
}

TEST(XmlReader, UnprintableTagIsRefusedSilently)
{
    test_util::log_capture log(3);
    xml_input in("<bad\tname><good>");
    char tag[20];
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "good");
    EXPECT_EQ(log.text(), "");
}

TEST(XmlReader, BracketsInTheWrongPlaceAreReported)
{
    struct {
        const char *input;
        bool tag_then_data;
        const char *expected_text;
        const char *message;
    } cases[] = {
        {"<a<b>", false, "a", "Warning in tavi_xml_reader::read_block(), got second open bracket?"},
        {"<a>x>y</a>", true, "x",
         "Warning in tavi_xml_reader::read_block(), got second closing bracket?"},
    };
    for (const auto &c : cases) {
        test_util::log_capture log(3);
        xml_input in(c.input);
        char tag[20], text[20];
        int got = in.reader.read_tag(tag, sizeof tag);
        EXPECT_EQ(got, 1);
        if (c.tag_then_data) {
            EXPECT_EQ(in.reader.read_data(text, sizeof text), 1);
            EXPECT_STREQ(text, c.expected_text);
        } else {
            EXPECT_STREQ(tag, c.expected_text);
        }
        ASSERT_FALSE(log.lines().empty()) << c.input;
        EXPECT_EQ(log.lines()[0], c.message);
    }
}

TEST(XmlReader, EndOfInputInsideABlockIsReported)
{
    test_util::log_capture log(3);
    xml_input in("<open");
    char tag[20];
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_STREQ(tag, "open");
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Warning in tavi_xml_reader::read_block(), file "
                                                     "corruption - got EOF before trailing bracket."});
}

TEST(XmlReader, EndOfInputBeforeATagIsSilent)
{
    for (const char *input : {"", "   \n", "text only > here"}) {
        test_util::log_capture log(3);
        xml_input in(input);
        char tag[20];
        EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
        EXPECT_EQ(log.text(), "") << input;
    }
}

TEST(XmlReader, IntegerData)
{
    struct {
        const char *data;
        int result;
        int value;
    } cases[] = {
        {"42", 1, 42}, {"+7", 1, 7}, {"-3", 1, -3}, {"12abc", 1, 12}, {"+", 1, 0},
        {"0", 1, 0},   {"-2147483648", 1, -2147483648LL},
        {"-x", 0, 99}, {" 5", 0, 99}, {"", 0, 99},    {"abc", 0, 99}, {"-", 0, 99},
    };
    for (const auto &c : cases) {
        test_util::log_capture log(3);
        xml_input in(std::string("<n>") + c.data + "</n><next>");
        char tag[20];
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        int value = 99;
        EXPECT_EQ(in.reader.read_data(&value), c.result) << c.data;
        EXPECT_EQ(value, c.value) << c.data;
        // The closing tag is consumed either way.
        EXPECT_EQ(in.reader.open_tag_count(), 0) << c.data;
        EXPECT_EQ(in.rest(), "<next>") << c.data;
        std::vector<std::string> expected;
        if (!c.result)
            expected.push_back(std::string("Warning in tavi_xml_reader::read_data(int) - got "
                                           "non-number'") + c.data + "'.");
        EXPECT_EQ(log.lines(), expected) << c.data;
    }
}

TEST(XmlReader, IntegerDataWithALineBreakFailsSilently)
{
    test_util::log_capture log(3);
    xml_input in("<n>4\n</n>");
    char tag[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    int value = 99;
    EXPECT_EQ(in.reader.read_data(&value), 0);
    EXPECT_EQ(value, 99);
    EXPECT_STREQ(in.reader.open_tag(), "n");
    EXPECT_EQ(log.text(), "");
}

TEST(XmlReader, SkipDataEndsAfterTheElementOpenWhenCalled)
{
    test_util::log_capture log(3);
    xml_input in("<keep>\n"
                 "  <skip>\n"
                 "    <!-- a comment -->\n"
                 "    <inner><deeper>1</deeper>text</inner>\n"
                 "    <!DOCTYPE x>\n"
                 "    <inner>2</inner>\n"
                 "  </skip>\n"
                 "  <after>3</after>\n"
                 "</keep>\n");
    char tag[50];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    ASSERT_STREQ(tag, "skip");
    in.reader.skip_data();
    EXPECT_STREQ(in.reader.open_tag(), "keep");
    EXPECT_EQ(in.reader.open_tag_count(), 1);
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_STREQ(tag, "after");
    int n = 0;
    EXPECT_EQ(in.reader.read_data(&n), 1);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(in.reader.read_tag(tag, sizeof tag), 0);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(log.text(), "");
}

TEST(XmlReader, SkipDataEndsByStackPositionNotByName)
{
    // The inner closing tag names the skipped element, yet only the last one ends the skip.
    test_util::log_capture log(3);
    xml_input in("<s><s>1</x></wrong><tail>");
    char tag[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    in.reader.skip_data();
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(in.rest(), "<tail>");
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "Warning in tavi_xml_reader::pop_stack_entry() - popped tag 'x' did not match "
                  "expected tag 's'.",
                  "Warning in tavi_xml_reader::pop_stack_entry() - popped tag 'wrong' did not match "
                  "expected tag 's'."}));
}

TEST(XmlReader, SkipDataReportsWhatStopsIt)
{
    struct {
        const char *input;
        std::vector<std::string> messages;
    } cases[] = {
        {"<e>\n<![CDATA[\n00ff\n]]>\n</e>",
         {"Warning in tavi_xml_reader::skip_data() - unable to read block?"}},
        {"<e><inner>",
         {"Warning in tavi_xml_reader::skip_data() - unable to read chunk?"}},
        {"<e><inner",
         {"Warning in tavi_xml_reader::read_block(), file corruption - got EOF before trailing "
          "bracket.",
          "Warning in tavi_xml_reader::skip_data() - unable to read block?"}},
        {"<e>a > b</e>", {"Warning in tavi_xml_reader::skip_chunk(), got closing bracket?"}},
    };
    for (const auto &c : cases) {
        test_util::log_capture log(3);
        xml_input in(c.input);
        char tag[20];
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        in.reader.skip_data();
        EXPECT_EQ(log.lines(), c.messages) << c.input;
    }
}

TEST(XmlReader, SkipDataWithNothingOpenIsMisuse)
{
    test_util::log_capture log(3);
    xml_input in("<a></a>");
    in.reader.skip_data();
    EXPECT_EQ(in.rest(), "<a></a>");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Error in tavi_xml_reader::skip_data() - you "
                                                     "must read at least the opening tag before "
                                                     "skipping data."});
}

TEST(XmlReader, CdataOnItsOwnLine)
{
    test_util::log_capture log(3);
    xml_input in("<blob>\n<![CDATA[\n0aff\n]]>\n</blob>\n<next>");
    char tag[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    unsigned char bytes[16] = {};
    EXPECT_EQ(in.reader.read_cdata(bytes, sizeof bytes), 2);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(in.rest(), "\n<next>");
}

TEST(XmlReader, CdataHeaderNeedsNineBytesOfRoom)
{
    for (int size : {1, 8}) {
        test_util::log_capture log(3);
        xml_input in("<blob><![CDATA[0aff]]></blob>");
        char tag[20];
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        unsigned char bytes[16];
        EXPECT_EQ(in.reader.read_cdata(bytes, size), 0);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"Warning in tavi_xml_reader::read_cdata(), "
                                                         "did not get ![CDATA[ header."});
    }
    test_util::log_capture log(3);
    xml_input in("<blob><CDATA></blob>");
    char tag[20];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    unsigned char bytes[16];
    EXPECT_EQ(in.reader.read_cdata(bytes, sizeof bytes), 0);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(XmlReader, CdataStopsWhenTheBufferIsFull)
{
    test_util::log_capture log(3);
    char tag[20];
    unsigned char bytes[16] = {};
    {
        xml_input in("<blob><![CDATA[0102030405]]></blob><n>");
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        EXPECT_EQ(in.reader.read_cdata(bytes, 9), 5);
        EXPECT_EQ(log.text(), "");
    }
    xml_input in("<blob><![CDATA[0102030405060708090a0b]]></blob><n>");
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_cdata(bytes, 9), 9);
    EXPECT_EQ(bytes[8], 9);
    EXPECT_EQ(bytes[9], 0);
    // The rest of the section is skipped; its closing bracket is passed by skip_chunk.
    EXPECT_EQ(in.reader.open_tag_count(), 0);
    EXPECT_EQ(in.rest(), "<n>");
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"Warning in tavi_xml_reader::skip_chunk(), got closing bracket?"});
}

TEST(XmlReader, CdataEndingEarlyGivesZero)
{
    for (const char *input : {"<b><![CDATA[0a", "<b><![CDA", "<b>"}) {
        xml_input in(input);
        char tag[20];
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
        unsigned char bytes[16];
        EXPECT_EQ(in.reader.read_cdata(bytes, sizeof bytes), 0) << input;
    }
}

TEST(XmlReader, CdataOfTheWriterReadsBack)
{
    test_util::temp_dir dir;
    std::string path = dir / "blob.xml";
    for (int length : {1, 31, 32, 33, 256, 300}) {
        std::string data;
        for (int i = 0; i < length; i++)
            data += char((i * 151 + 7) & 0xff);
        FILE *out = fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        {
            tavi_xml_file_writer w(out);
            (void)w.write_header();
            w.write_tag("doc", 1, nullptr);
            w.write_tag("blob", 1, nullptr);
            w.write_cdata(data.data(), length);
            w.end_tag("blob", 1);
            w.write_tag("after", 0, nullptr);
            w.write_string("x");
            w.end_tag("after", 0);
            w.end_tag("doc", 1);
        }
        ASSERT_EQ(fclose(out), 0);
        test_util::run_result lint = test_util::run({"xmllint", "--noout", path});
        EXPECT_EQ(lint.status, 0) << lint.err;

        test_util::log_capture log(3);
        FILE *in = fopen(path.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        {
            tavi_xml_file_reader r(in);
            char line[1000];
            ASSERT_NE(fgets(line, sizeof line, in), nullptr);
            EXPECT_EQ(r.check_xml_header_string(line), 1);
            char tag[20];
            ASSERT_EQ(r.read_tag(tag, sizeof tag), 1);
            ASSERT_EQ(r.read_tag(tag, sizeof tag), 1);
            std::vector<unsigned char> back(size_t(length) + 10);
            ASSERT_EQ(r.read_cdata(back.data(), int(back.size())), length);
            EXPECT_EQ(std::string(back.begin(), back.begin() + length), data);
            ASSERT_EQ(r.read_tag(tag, sizeof tag), 1);
            EXPECT_STREQ(tag, "after");
            char text[20];
            EXPECT_EQ(r.read_data(text, sizeof text), 1);
            EXPECT_EQ(r.read_tag(tag, sizeof tag), 0);
            EXPECT_EQ(r.open_tag_count(), 0);
        }
        fclose(in);
        EXPECT_EQ(log.text(), "") << length;
    }
}

TEST(XmlReader, TextOfTheWriterReadsBack)
{
    const char *values[] = {"a < b && c > d", "&lt; stays &lt;", "\"quotes\" and 'apostrophes'", ""};
    test_util::temp_dir dir;
    std::string path = dir / "text.xml";
    FILE *out = fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    {
        tavi_xml_file_writer w(out);
        (void)w.write_header();
        w.write_tag("doc", 1, nullptr);
        for (const char *v : values) {
            w.write_tag("v", 0, nullptr);
            w.write_string(v);
            w.end_tag(nullptr, 0);
        }
        w.end_tag(nullptr, 1);
    }
    ASSERT_EQ(fclose(out), 0);
    EXPECT_EQ(test_util::run({"xmllint", "--noout", path}).status, 0);
    FILE *in = fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    {
        tavi_xml_file_reader r(in);
        char line[1000];
        ASSERT_NE(fgets(line, sizeof line, in), nullptr);
        char tag[20], text[100];
        ASSERT_EQ(r.read_tag(tag, sizeof tag), 1);
        for (const char *v : values) {
            ASSERT_EQ(r.read_tag(tag, sizeof tag), 1);
            EXPECT_EQ(r.read_data(text, sizeof text), 1);
            EXPECT_STREQ(text, v);
        }
        EXPECT_EQ(r.read_tag(tag, sizeof tag), 0);
        EXPECT_EQ(r.open_tag_count(), 0);
    }
    fclose(in);
}

TEST(XmlReader, DeclarationLines)
{
    const std::string w = "Warning in tavi_xml_reader::check_xml_header_string(), ";
    struct {
        const char *line;
        int result;
        std::string message;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", 1, ""},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 1, ""},
        {"<?XML encoding=\"UTF-8\" version=\"1.1\"?>", 1, ""},
        {"<?xml   version =  \"1.0\"   encoding= \"x\"", 1, ""},
        {"<?xml\tversion=\"1\" encoding=\"e\"?>", 1, ""},
        {"<?xml version=\"1\" version=\"2\" encoding=\"e\" ?>", 1, ""},
        {"<?xml version=\"1.0\"?>", 0, w + "didn't get encoding."},
        {"<?xml encoding=\"e\"?>", 0, w + "didn't get version."},
        {"<?xml version=\"1.0\" encoding=\"e\" standalone=\"yes\"?>", 0, w + "unknown tag found."},
        {"<?xml Version=\"1.0\" encoding=\"e\"?>", 0, w + "unknown tag found."},
        {"<?xml version=\"1.0\"\tencoding=\"e\"?>", 0, w + "unknown tag found."},
        {"<?xml ?>", 0, w + "unknown tag found."},
        {"<?xml", 0, w + "didn't get either version or encoding."},
        {"<?xml   ", 0, w + "didn't get either version or encoding."},
        {"<?xmlversion=\"1.0\" encoding=\"e\"?>", 0, w + "missing opening '<?xml' tag."},
        {"<launcher_config>", 0, w + "missing opening '<?xml' tag."},
        {"", 0, w + "missing opening '<?xml' tag."},
        {" <?xml version=\"1\" encoding=\"e\"?>", 0, w + "missing opening '<?xml' tag."},
        {"<?xml version \"1.0\" encoding=\"e\"?>", 0, w + "'version' tag found, but no version."},
        {"<?xml version=1.0 encoding=\"e\"?>", 0,
         w + "'version' tag found, but no opening version quote."},
        {"<?xml version=\"1.0 encoding=e?>", 0,
         w + "'version' tag found, but no closing version quote."},
        {"<?xml version=\"1\" encoding ?>", 0, w + "'encoding' tag found, but no encoding."},
        {"<?xml version=\"1\" encoding='e'?>", 0,
         w + "'encoding' tag found, but no opening encoding quote."},
        {"<?xml version=\"1\" encoding=\"e?>", 0,
         w + "'encoding' tag found, but no closing encoding quote."},
    };
    for (const auto &c : cases) {
        test_util::log_capture log(3);
        EXPECT_EQ(tavi_xml_reader::check_xml_header_string(c.line), c.result) << c.line;
        std::vector<std::string> expected;
        if (!c.message.empty())
            expected.push_back(c.message);
        EXPECT_EQ(log.lines(), expected) << c.line;
    }
    test_util::log_capture log(3);
    EXPECT_EQ(tavi_xml_reader::check_xml_header_string(nullptr), 0);
    EXPECT_EQ(log.lines(), std::vector<std::string>{w + "missing opening '<?xml' tag."});
}

TEST(XmlReader, TheWritersDeclarationPasses)
{
    EXPECT_EQ(tavi_xml_reader::check_xml_header_string(xml_header_line), 1);
}

TEST(XmlReader, BadArgumentsAreReported)
{
    test_util::log_capture log(3);
    xml_input in("<a>1</a>");
    char buffer[20];
    int n = 0;
    EXPECT_EQ(in.reader.read_tag(nullptr, 20), 0);
    EXPECT_EQ(in.reader.read_tag(buffer, 0), 0);
    EXPECT_EQ(in.reader.read_data(static_cast<char *>(nullptr), 20), 0);
    EXPECT_EQ(in.reader.read_data(buffer, -1), 0);
    EXPECT_EQ(in.reader.read_data(static_cast<int *>(nullptr)), 0);
    EXPECT_EQ(in.reader.read_cdata(nullptr, 20), 0);
    EXPECT_EQ(in.reader.read_cdata(buffer, 0), 0);
    // None of them consumed input.
    EXPECT_EQ(in.reader.read_tag(buffer, sizeof buffer), 1);
    EXPECT_EQ(in.reader.read_data(&n), 1);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Error in tavi_xml_reader::read_tag(), NULL dest?",
                               "Error in tavi_xml_reader::read_tag(), dest is too small?",
                               "Error in tavi_xml_reader::read_data(char[]), NULL dest?",
                               "Error in tavi_xml_reader::read_data(char[]), dest is too small?",
                               "Error in tavi_xml_reader::read_data(int), NULL dest?",
                               "Error in tavi_xml_reader::read_cdata(), NULL dest?",
                               "Error in tavi_xml_reader::read_cdata(), dest is too small?",
                           }));
}

TEST(XmlReader, TagBufferOfOneByteHoldsAnEmptyTag)
{
    xml_input in("<abc>");
    char tag[1];
    EXPECT_EQ(in.reader.read_tag(tag, 1), 1);
    EXPECT_STREQ(tag, "");
    EXPECT_STREQ(in.reader.open_tag(), "");
}

TEST(XmlFileReader, NullHandleIsReportedAndActsAsEndOfInput)
{
    test_util::log_capture log(3);
    {
        tavi_xml_file_reader r(nullptr);
        EXPECT_EQ(r.get_next_char(), -1);
        char buffer[20];
        EXPECT_EQ(r.read_tag(buffer, sizeof buffer), 0);
        EXPECT_EQ(r.read_cdata(buffer, sizeof buffer), 0);
        r.skip_data();
        EXPECT_EQ(r.open_tag_count(), 0);
    }
    std::vector<std::string> lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Error in tavi_xml_file_reader::tavi_xml_file_reader(), NULL file handle.");
}

TEST(XmlFileReader, OpenTagsAreFreedWithTheReader)
{
    // Run under LeakSanitizer this fails if the destructor leaves entries behind.
    xml_input in("<a><b><c><d>");
    char tag[10];
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.open_tag_count(), 4);
}

TEST(XmlFileReader, ReadsBytesAboveAsciiAsData)
{
    // Bytes above 126 count as unprintable: the element text is refused.
    xml_input in("<n>\xe9t\xe9</n>");
    char tag[10], text[10];
    ASSERT_EQ(in.reader.read_tag(tag, sizeof tag), 1);
    EXPECT_EQ(in.reader.read_data(text, sizeof text), 0);
    EXPECT_STREQ(text, "\xe9t\xe9");
}
