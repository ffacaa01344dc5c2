// tavi_xml_writer: layout, escaping, CDATA, the tag stack's checks, and output errors.
#include "xml/xml_writer.h"

#include "support/debug_log.h"

#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Collects the output in memory; write_raw fails (-1) from call `fail_from` on.
class string_writer : public tavi_xml_writer {
public:
    std::string out;
    int calls = 0;
    int fail_from = -1;
    int write_raw(const char *text) override
    {
        if (fail_from >= 0 && calls >= fail_from)
            return -1;
        calls++;
        out += text;
        return int(std::string(text).size());
    }
};

// Runs xmllint --noout on `path`; its standard error on failure, "" when it accepts the file.
std::string xmllint_complaints(const std::string &path)
{
    test_util::run_result r = test_util::run({"xmllint", "--noout", path});
    if (r.status == 0)
        return "";
    return "status " + std::to_string(r.status) + ": " + r.err;
}

std::string hex_of(const std::string &bytes)
{
    std::string out;
    char pair[3];
    for (unsigned char c : bytes) {
        snprintf(pair, sizeof pair, "%02x", c);
        out += pair;
    }
    return out;
}

} // namespace

TEST(XmlWriter, DataElementOnOneLineWithEscapedValue)
{
    test_util::log_capture log(3);
    string_writer w;
    w.write_tag("limit", 0, nullptr);
    w.write_string("a<b");
    w.end_tag(nullptr, 0);
    EXPECT_EQ(w.out, "<limit>a&lt;b</limit>\n");
    EXPECT_EQ(w.depth(), 0);
    EXPECT_EQ(log.text(), "");
}

TEST(XmlWriter, WriteStringEscapesOnlyTheThreeEntities)
{
    struct {
        const char *text;
        const char *expected;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"<>&", "&lt;&gt;&amp;"},
        {"&lt;", "&amp;lt;"},
        {"say \"hi\" it's", "say \"hi\" it's"},
        {"tab\there\nline", "tab\there\nline"},
        {"\xe9t\xe9", "\xe9t\xe9"},
    };
    for (const auto &c : cases) {
        string_writer w;
        w.write_string(c.text);
        EXPECT_EQ(w.out, c.expected) << c.text;
    }
}

TEST(XmlWriter, NullArgumentsAreReported)
{
    test_util::log_capture log(3);
    string_writer w;
    w.write_string(nullptr);
    EXPECT_EQ(w.out, "");
    w.write_tag(nullptr, 1, "a=\"1\"");
    EXPECT_EQ(w.out, "");
    EXPECT_EQ(w.depth(), 0);
    w.write_cdata(nullptr, 4);
    EXPECT_EQ(w.out, "");
    // The closing tag comes from the stack, so the refused write_tag left nothing to close.
    w.end_tag(nullptr, 0);
    EXPECT_EQ(w.out, "</_BOGUS_ENDING_TAG_>\n");
    EXPECT_EQ(log.text(),
              "Error in tavi_xml_writer::write_string(), NULL data.\n\n"
              "Error in tavi_xml_writer::write_tag(), NULL tag.\n\n"
              "Error in tavi_xml_writer::write_cdata(), NULL data.\n\n"
              "Error in tavi_xml_writer::end_tag(), tag stack empty.\n\n");
}

TEST(XmlWriter, ClosingTheWrongNameWarnsAndWritesTheOpenOne)
{
    test_util::log_capture log(3);
    string_writer w;
    w.write_tag("outer", 1, nullptr);
    w.write_tag("inner", 0, nullptr);
    w.end_tag("outer", 0);
    w.end_tag("outer", 1);
    EXPECT_EQ(w.out, "<outer>\n  <inner></inner>\n</outer>\n");
    EXPECT_EQ(log.count("Warning in tavi_xml_writer::end_tag(), tried to close wrong tag."), 1);
    EXPECT_EQ(log.lines().size(), 2u);   // the message and the empty line its own "\n" makes
}

TEST(XmlWriter, BogusEndingTagAndNegativeDepth)
{
    test_util::log_capture log(3);
    string_writer w;
    w.end_tag(nullptr, 1);
    EXPECT_EQ(w.out, "</_BOGUS_ENDING_TAG_>\n");
    EXPECT_EQ(w.depth(), -1);
    EXPECT_EQ(log.count("Error in tavi_xml_writer::end_tag(), tag stack empty."), 1);
    w.out.clear();
    // Depth -1 then 0: no indentation until it is above zero again.
    w.write_tag("a", 1, nullptr);
    w.write_tag("b", 1, nullptr);
    w.write_tag("c", 0, nullptr);
    w.end_tag("c", 1);
    w.end_tag("b", 1);
    w.end_tag("a", 1);
    EXPECT_EQ(w.out, "<a>\n<b>\n  <c>  </c>\n</b>\n</a>\n");
    EXPECT_EQ(w.depth(), -1);
}

TEST(XmlWriter, NestedContainersIndentTwoSpacesPerLevel)
{
    string_writer w;
    w.write_tag("top", 1, nullptr);
    w.write_tag("middle", 1, "id=\"m\"");
    w.write_tag("leaf", 0, nullptr);
    w.write_string("1");
    w.end_tag("leaf", 0);
    w.write_empty_tag("empty", "k=\"v\"");
    w.write_indent();
    w.write_string("x");
    w.write_newline();
    w.end_tag("middle", 1);
    w.write_empty_tag("bare");
    w.end_tag("top", 1);
    EXPECT_EQ(w.out,
              "<top>\n"
              "  <middle id=\"m\">\n"
              "    <leaf>1</leaf>\n"
              "    <empty k=\"v\" />\n"
              "    x\n"
              "  </middle>\n"
              "  <bare />\n"
              "</top>\n");
    EXPECT_EQ(w.depth(), 0);
}

TEST(XmlWriter, AttributesAreWrittenUnescaped)
{
    string_writer w;
    w.write_tag("a&b", 1, "x=\"1<2\" y='&'");
    EXPECT_EQ(w.out, "<a&amp;b x=\"1<2\" y='&'>\n");
    w.out.clear();
    w.end_tag("a&b", 0);
    EXPECT_EQ(w.out, "</a&amp;b>\n");
}

TEST(XmlWriter, EmptyTagWithNullNameIsReportedButStillWritten)
{
    test_util::log_capture log(3);
    string_writer w;
    w.write_tag("c", 1, nullptr);
    w.out.clear();
    w.write_empty_tag(nullptr, nullptr);
    EXPECT_EQ(w.out, "  < />\n");
    EXPECT_EQ(w.depth(), 1);
    EXPECT_EQ(log.count("Error in tavi_xml_writer::write_string(), NULL data."), 1);
}

TEST(XmlWriter, LongNameIsCutToTheStackLimitWhenClosed)
{
    std::string name(1200, 'n');
    name[998] = 'x';
    name[999] = 'y';
    string_writer w;
    w.write_tag(name.c_str(), 0, nullptr);
    EXPECT_EQ(w.out, "<" + name + ">");
    w.out.clear();
    w.end_tag(nullptr, 0);
    EXPECT_EQ(w.out, "</" + name.substr(0, 999) + ">\n");
    EXPECT_EQ(w.out[1 + 999], 'x');
}

TEST(XmlWriter, CdataLinesOf32Bytes)
{
    std::string all;
    for (int i = 0; i < 256; i++)
        all += char(i);
    for (int length : {-5, 0, 1, 31, 32, 33, 64, 65, 256}) {
        std::string data = all.substr(0, size_t(length < 0 ? 0 : length));
        std::string expected = "<![CDATA[\n";
        std::string hex = hex_of(data);
        for (size_t at = 0; at < hex.size(); at += 64)
            expected += hex.substr(at, 64) + "\n";
        expected += "]]>\n";
        string_writer w;
        w.write_tag("deep", 1, nullptr);
        w.out.clear();
        w.write_cdata(all.data(), length);
        EXPECT_EQ(w.out, expected) << "length " << length;
    }
    string_writer w;
    w.write_cdata(all.data(), 33);
    EXPECT_EQ(w.out, "<![CDATA[\n" + hex_of(all.substr(0, 32)) + "\n20\n]]>\n");
}

TEST(XmlWriter, HeaderIsOneWriteWhoseResultIsReturned)
{
    string_writer w;
    EXPECT_EQ(w.write_header(), 44);
    EXPECT_EQ(w.out, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n");
    EXPECT_EQ(w.calls, 1);
    string_writer failing;
    failing.fail_from = 0;
    EXPECT_LT(failing.write_header(), 0);
    EXPECT_EQ(failing.write_failed(), 1);
}

TEST(XmlWriter, AnyFailedWriteIsRemembered)
{
    auto element = [](string_writer &w) {
        w.write_tag("k", 1, "a=\"1\"");
        w.write_string("v<");
        w.write_cdata("xy", 2);
        w.write_empty_tag("e", nullptr);
        w.end_tag(nullptr, 1);
        w.write_newline();
    };
    string_writer whole;
    element(whole);
    EXPECT_EQ(whole.write_failed(), 0);
    ASSERT_GT(whole.calls, 10);
    // Fail each write in turn: the writer must notice whichever write it is.
    for (int fail_at = 0; fail_at < whole.calls; fail_at++) {
        string_writer w;
        w.fail_from = fail_at;
        element(w);
        EXPECT_EQ(w.write_failed(), 1) << fail_at;
        EXPECT_EQ(w.out, whole.out.substr(0, w.out.size())) << fail_at;
    }
}

TEST(XmlFileWriter, NullHandleIsReportedAndEveryWriteFails)
{
    test_util::log_capture log(3);
    tavi_xml_file_writer w(nullptr);
    EXPECT_EQ(log.count("Error in tavi_xml_file_writer::tavi_xml_file_writer(), NULL file handle."), 1);
    EXPECT_LT(w.write_header(), 0);
    w.write_tag("a", 0, nullptr);
    w.end_tag(nullptr, 0);
    EXPECT_EQ(w.write_failed(), 1);
}

TEST(XmlFileWriter, FullDeviceIsNoticed)
{
    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);   // every fprintf goes to the device at once
    {
        tavi_xml_file_writer w(full);
        EXPECT_LT(w.write_header(), 0);
        w.write_tag("a", 0, nullptr);
        EXPECT_EQ(w.write_failed(), 1);
    }
    EXPECT_TRUE(ferror(full));
    fclose(full);
}

TEST(XmlFileWriter, WritesADocumentThatXmllintAccepts)
{
    test_util::temp_dir dir;
    std::string path = dir / "doc.xml";
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string bytes;
    for (int i = 0; i < 70; i++)
        bytes += char(i * 37);
    {
        tavi_xml_file_writer w(f);
        EXPECT_EQ(w.write_header(), 44);
        w.write_tag("launcher_config", 1, nullptr);
        w.write_tag("launcher_version", 0, nullptr);
        w.write_string("1.096-g64-rc4");
        w.end_tag(nullptr, 0);
        w.write_tag("note", 0, "lang=\"en\"");
        w.write_string("a < b && c > d, \"quoted\" 'single'");
        w.end_tag("note", 0);
        w.write_tag("blob", 1, nullptr);
        w.write_cdata(bytes.data(), int(bytes.size()));
        w.end_tag("blob", 1);
        w.write_empty_tag("flag", "on=\"1\"");
        w.end_tag(nullptr, 1);
        w.write_newline();
        EXPECT_EQ(w.write_failed(), 0);
    }
    ASSERT_EQ(fclose(f), 0);
    EXPECT_EQ(xmllint_complaints(path), "");
    std::string text = test_util::read_file(path);
    EXPECT_NE(text.find("  <note lang=\"en\">a &lt; b &amp;&amp; c &gt; d, \"quoted\" 'single'</note>\n"),
              std::string::npos);
    EXPECT_NE(text.find("  <flag on=\"1\" />\n</launcher_config>\n\n"), std::string::npos);
}

TEST(XmlFileWriter, XmllintRejectsWhatTheWriterCannotMend)
{
    // Guards the xmllint check itself: a document with a bogus closing tag must be refused.
    test_util::temp_dir dir;
    std::string path = dir / "bad.xml";
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    {
        test_util::log_capture log(3);
        tavi_xml_file_writer w(f);
        (void)w.write_header();
        w.write_tag("a", 1, nullptr);
        w.end_tag(nullptr, 1);
        w.end_tag(nullptr, 1);
    }
    ASSERT_EQ(fclose(f), 0);
    EXPECT_NE(xmllint_complaints(path), "");
}
