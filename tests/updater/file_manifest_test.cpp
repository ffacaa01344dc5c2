// File manifest: line syntax, load and save byte for byte, index lookups, pruning, failed saves.
#include "updater/file_manifest.h"

#include "support/debug_log.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using test_util::read_file;
using test_util::temp_dir;
using test_util::write_file;

namespace {

const std::string header =
    "# This is an automatically generated file - do not modify\n"
    "# It contains a list of the files currently managed by the\n"
    "# updater.  Changing or deleting it may cause your next\n"
    "# update to download far more things than it needs.\n"
    "\n";

const std::string hash20 = "0123456789abcdef0123";   // long enough not to be reported on save

struct record_view {
    std::string hash;
    int size;
    std::string name;
    bool operator==(const record_view &o) const
    {
        return hash == o.hash && size == o.size && name == o.name;
    }
};

std::ostream &operator<<(std::ostream &out, const record_view &r)
{
    return out << "{" << r.hash << ", " << r.size << ", '" << r.name << "'}";
}

std::vector<record_view> records_of(const fenu_file_manifest &manifest)
{
    std::vector<record_view> out;
    for (const manifest_record *r = manifest.first_record(); r; r = r->link)
        out.push_back({r->hash ? r->hash : "<null>", r->size, r->name ? r->name : "<null>"});
    return out;
}

void add(fenu_file_manifest &manifest, const std::string &hash, int size, const std::string &name)
{
    manifest_record source;
    ASSERT_TRUE(source.set_hash(hash.c_str()));
    ASSERT_TRUE(source.set_name(name.c_str()));
    source.size = size;
    ASSERT_EQ(manifest.update_record(&source), 1);
}

// ---- parse_manifest_line ---------------------------------------------------------------------

enum class parsed { record, comment, error };

struct parse_case {
    const char *line;
    parsed expected;
    const char *hash;      // record: expected fields
    int size;
    const char *name;
    const char *what;      // error: the text between " - " and " for line:"
};

const parse_case parse_cases[] = {
    {"0123456789abcdef 42 client", parsed::record, "0123456789abcdef", 42, "client", nullptr},
    {" \t 0123456789 +7 a b  ", parsed::record, "0123456789", 7, "a b  ", nullptr},
    {"0123456789 12abc name", parsed::record, "0123456789", 12, "name", nullptr},
    {"0123456789 -3 name", parsed::record, "0123456789", -3, "name", nullptr},
    {"0123456789 + name", parsed::record, "0123456789", 0, "name", nullptr},
    {"0123456789\t5\t\tname with\ttab ", parsed::record, "0123456789", 5, "name with\ttab ", nullptr},
    {"0123456789ABC!x 5 n", parsed::record, "0123456789ABC!x", 5, "n", nullptr},
    {"0123456789 5 dir/sub dir/file.bin", parsed::record, "0123456789", 5, "dir/sub dir/file.bin", nullptr},
    {"0123456789 5 /rooted/name", parsed::record, "0123456789", 5, "/rooted/name", nullptr},
    {"0123456789 5 ..a/b../.../.x", parsed::record, "0123456789", 5, "..a/b../.../.x", nullptr},
    {"0123456789 5 ./x", parsed::record, "0123456789", 5, "./x", nullptr},
    {"0123456789 5 name\nrest", parsed::record, "0123456789", 5, "name", nullptr},
    {"0123456789 5 ok\n/../x", parsed::record, "0123456789", 5, "ok", nullptr},
    {"0123456789 999999999 n", parsed::record, "0123456789", 999999999, "n", nullptr},
    {"0123456789 123456789x n", parsed::record, "0123456789", 123456789, "n", nullptr},
    {"0123456789 2147483647 n", parsed::record, "0123456789", 2147483647, "n", nullptr},
    {"0123456789 0000000000042 n", parsed::record, "0123456789", 42, "n", nullptr},
    {"", parsed::comment, nullptr, 0, nullptr, nullptr},
    {" \t \t", parsed::comment, nullptr, 0, nullptr, nullptr},
    {"# 0123456789 5 x", parsed::comment, nullptr, 0, nullptr, nullptr},
    {"   #", parsed::comment, nullptr, 0, nullptr, nullptr},
    {"012345678 5 name", parsed::error, nullptr, 0, nullptr, "bad or missing hash field"},
    {"012345678A 5 name", parsed::error, nullptr, 0, nullptr, "bad or missing hash field"},
    {"ABCDEF0123 5 name", parsed::error, nullptr, 0, nullptr, "bad or missing hash field"},
    {"01234 56789 5 name", parsed::error, nullptr, 0, nullptr, "bad or missing hash field"},
    {"\n0123456789 5 name", parsed::error, nullptr, 0, nullptr, "bad or missing hash field"},
    {"0123456789", parsed::error, nullptr, 0, nullptr, "bad or missing file size"},
    {"0123456789 x name", parsed::error, nullptr, 0, nullptr, "bad or missing file size"},
    {"0123456789 - name", parsed::error, nullptr, 0, nullptr, "bad or missing file size"},
    {"0123456789 -a name", parsed::error, nullptr, 0, nullptr, "bad or missing file size"},
    {"0123456789 2147483648 n", parsed::error, nullptr, 0, nullptr, "bad or missing file size"},
    {"0123456789 5", parsed::error, nullptr, 0, nullptr, "missing file name"},
    {"0123456789 5 \t ", parsed::error, nullptr, 0, nullptr, "missing file name"},
    {"0123456789 5 ../outside", parsed::error, nullptr, 0, nullptr, "unsafe file name"},
    {"0123456789 5 a/../../b", parsed::error, nullptr, 0, nullptr, "unsafe file name"},
    {"0123456789 5 a/..", parsed::error, nullptr, 0, nullptr, "unsafe file name"},
    {"0123456789 5 ..", parsed::error, nullptr, 0, nullptr, "unsafe file name"},
    {"0123456789 5 /../etc/passwd", parsed::error, nullptr, 0, nullptr, "unsafe file name"},
    {"0123456789 5 a/..\nb", parsed::error, nullptr, 0, nullptr, "unsafe file name"},
};

TEST(ParseManifestLine, Cases)
{
    test_util::log_capture log(3);
    for (const parse_case &c : parse_cases) {
        SCOPED_TRACE(std::string("line '") + c.line + "'");
        log.clear();
        manifest_record sentinel;
        manifest_record *record = &sentinel;   // must be overwritten
        int result = parse_manifest_line(manifest_label_file, c.line, &record);
        switch (c.expected) {
        case parsed::record:
            ASSERT_EQ(result, 1);
            ASSERT_NE(record, nullptr);
            EXPECT_STREQ(record->hash, c.hash);
            EXPECT_EQ(record->size, c.size);
            EXPECT_STREQ(record->name, c.name);
            EXPECT_EQ(record->link, nullptr);
            EXPECT_EQ(log.text(), "");
            delete record;
            break;
        case parsed::comment:
            EXPECT_EQ(result, 1);
            EXPECT_EQ(record, nullptr);
            EXPECT_EQ(log.text(), "");
            break;
        case parsed::error:
            EXPECT_EQ(result, 0);
            EXPECT_EQ(record, nullptr);
            EXPECT_EQ(log.text(), std::string("Syntax error in file manifest - ") + c.what +
                                      " for line:\n" + c.line + "\n");
            break;
        }
    }
}

TEST(ParseManifestLine, SourceLabelAndMaskedCategory)
{
    test_util::log_capture log(3);
    manifest_record *record = nullptr;
    EXPECT_EQ(parse_manifest_line(manifest_label_download, "zz 1 x", &record), 0);
    EXPECT_EQ(log.text(), "Syntax error in downloaded data - bad or missing hash field for line:\n"
                          "zz 1 x\n");
    // Both lines are category 16: masking it silences them.
    log.clear();
    report_error_set_mask(REPORT_MANIFEST);
    EXPECT_EQ(parse_manifest_line(manifest_label_download, "zz 1 x", &record), 0);
    report_error_set_mask(0);
    EXPECT_EQ(log.text(), "");
}

TEST(ManifestRecord, ParsedRecordStringsAreReplacedOneAtATime)
{
    // A parsed record keeps both strings in its own allocation: replacing one leaves the other,
    // and each replacement is freed with the record (the sanitizer build checks the freeing).
    struct {
        const char *hash;
        const char *name;
    } replacements[] = {{"fedcba9876543210", nullptr}, {nullptr, "other name"},
                        {"fedcba9876543210", "other name"}, {nullptr, nullptr}};
    for (const auto &r : replacements) {
        manifest_record *record = nullptr;
        ASSERT_EQ(parse_manifest_line(manifest_label_file, "0123456789abcd 5 dir/name", &record), 1);
        ASSERT_NE(record, nullptr);
        if (r.hash) {
            ASSERT_TRUE(record->set_hash(r.hash));
        }
        if (r.name) {
            ASSERT_TRUE(record->set_name(r.name));
        }
        EXPECT_STREQ(record->hash, r.hash ? r.hash : "0123456789abcd");
        EXPECT_STREQ(record->name, r.name ? r.name : "dir/name");
        ASSERT_TRUE(record->set_hash(nullptr));
        EXPECT_EQ(record->hash, nullptr);
        EXPECT_STREQ(record->name, r.name ? r.name : "dir/name");
        delete record;
    }
}

TEST(ManifestNameIsSafe, Components)
{
    struct {
        const char *name;
        int safe;
    } cases[] = {
        {"client", 1}, {"a/b/c", 1}, {"/a", 1}, {"a//b", 1}, {".", 1}, {"...", 1}, {".. ", 1},
        {" ..", 1}, {"..\r", 1}, {"a..b", 1}, {"", 0}, {nullptr, 0}, {"..", 0}, {"../a", 0},
        {"a/..", 0}, {"a/../b", 0}, {"/..", 0}, {"//../x", 0}, {"a/b/../../..", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(manifest_name_is_safe(c.name), c.safe) << (c.name ? c.name : "(null)");
}

// ---- load_file -------------------------------------------------------------------------------

TEST(ManifestLoad, FileOrderCommentsCrLfAndDuplicates)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    ASSERT_TRUE(write_file(path, header +
                                     "0123456789aaaa          5 first\r\n"
                                     "   # indented comment\r\n"
                                     "\t\r\n"
                                     "0123456789bbbb 7 name with spaces  \r\n"
                                     "0123456789cccc 9 first\r\n"
                                     "0123456789dddd 11 no line feed at the end"));
    test_util::log_capture log(3);
    fenu_file_manifest manifest;
    EXPECT_EQ(manifest.load_file(path.c_str()), 4);
    EXPECT_EQ(manifest.record_count(), 4);
    std::vector<record_view> expected = {
        {"0123456789aaaa", 5, "first"},
        {"0123456789bbbb", 7, "name with spaces  "},
        {"0123456789cccc", 9, "first"},
        {"0123456789dddd", 11, "no line feed at the end"},
    };
    EXPECT_EQ(records_of(manifest), expected);
    // Equal names: both kept, the index gives the later one, and an update changes only it.
    manifest_record *found = manifest.find_record("first");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->hash, "0123456789cccc");
    EXPECT_EQ(manifest.find_record("first "), nullptr);
    EXPECT_EQ(manifest.find_record("name with spaces"), nullptr);
    EXPECT_NE(manifest.find_record("name with spaces  "), nullptr);
    EXPECT_EQ(log.text(), "");

    add(manifest, "0123456789eeee", 13, "first");
    expected[2] = {"0123456789eeee", 13, "first"};
    EXPECT_EQ(records_of(manifest), expected);
}

TEST(ManifestLoad, MissingFileSyntaxErrorAndEmptyFile)
{
    temp_dir dir;
    test_util::log_capture log(3);
    {
        fenu_file_manifest manifest;
        EXPECT_EQ(manifest.load_file((dir / "absent.lst").c_str()), -1);
        EXPECT_EQ(manifest.load_file(dir.path().c_str()), -1);   // a directory
        EXPECT_EQ(manifest.load_file(nullptr), -1);
        EXPECT_EQ(manifest.record_count(), 0);
        EXPECT_EQ(log.text(), "");
    }
    {
        std::string path = dir / "bad.lst";
        ASSERT_TRUE(write_file(path, "0123456789 1 a\n0123456789 2 b\n0123456789 size c\n"
                                     "0123456789 4 d\n"));
        fenu_file_manifest manifest;
        EXPECT_EQ(manifest.load_file(path.c_str()), -1);
        std::vector<record_view> kept = {{"0123456789", 1, "a"}, {"0123456789", 2, "b"}};
        EXPECT_EQ(records_of(manifest), kept);
        EXPECT_EQ(log.text(), "Syntax error in file manifest - bad or missing file size for line:\n"
                              "0123456789 size c\n");
    }
    for (const std::string &content : {std::string(), header, std::string("\n\n# x\n")}) {
        std::string path = dir / "empty.lst";
        ASSERT_TRUE(write_file(path, content));
        fenu_file_manifest manifest;
        EXPECT_EQ(manifest.load_file(path.c_str()), 0);
        EXPECT_EQ(manifest.first_record(), nullptr);
    }
}

TEST(ManifestLoad, UnsafeNameRefusesTheFile)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    ASSERT_TRUE(write_file(path, header + "0123456789 1 ok\n0123456789 2 sub/../../escape\n"));
    test_util::log_capture log(3);
    fenu_file_manifest manifest;
    EXPECT_EQ(manifest.load_file(path.c_str()), -1);
    EXPECT_EQ(manifest.find_record("sub/../../escape"), nullptr);
    EXPECT_EQ(manifest.record_count(), 1);
    EXPECT_EQ(log.text(), "Syntax error in file manifest - unsafe file name for line:\n"
                          "0123456789 2 sub/../../escape\n");
}

TEST(ManifestLoad, LongLineIsCutAt1023Characters)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    std::string prefix = "0123456789 3 ";
    std::string name(1500, 'n');
    ASSERT_TRUE(write_file(path, prefix + name + "\n0123456789 4 next\n"));
    test_util::log_capture log(3);
    fenu_file_manifest manifest;
    EXPECT_EQ(manifest.load_file(path.c_str()), 2);
    std::string cut = name.substr(0, 1023 - prefix.size());
    std::vector<record_view> expected = {{"0123456789", 3, cut}, {"0123456789", 4, "next"}};
    EXPECT_EQ(records_of(manifest), expected);
    EXPECT_EQ(log.count("Warning in fget_line(), string overflow.  String was:"), 1);
}

// ---- save_file -------------------------------------------------------------------------------

TEST(ManifestSave, ExactBytesAndRoundTrip)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    fenu_file_manifest manifest;
    // update_record puts new names first, so add them in reverse.
    add(manifest, hash20 + "tail", -5, "sub dir/with  inner and trailing  ");
    add(manifest, hash20, 1234567890, "big");
    add(manifest, hash20 + "X!", 5, "a b");
    test_util::log_capture log(3);
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    EXPECT_EQ(read_file(path), header + hash20 + "X!          5 a b\n" +
                                   hash20 + " 1234567890 big\n" +
                                   hash20 + "tail         -5 sub dir/with  inner and trailing  \n");
    EXPECT_FALSE(test_util::file_exists(path + ".tmp"));
    EXPECT_EQ(log.text(), "");

    fenu_file_manifest again;
    EXPECT_EQ(again.load_file(path.c_str()), 3);
    EXPECT_EQ(records_of(again), records_of(manifest));
}

TEST(ManifestSave, EmptyManifestWritesTheHeaderOnly)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    fenu_file_manifest manifest;
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    EXPECT_EQ(read_file(path), header);
    fenu_file_manifest again;
    EXPECT_EQ(again.load_file(path.c_str()), 0);
}

TEST(ManifestSave, ShortHashIsReportedAndWritten)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    fenu_file_manifest manifest;
    add(manifest, "0123456789abcdefghi", 2, "nineteen");
    add(manifest, "0123456789", 1, "ten");
    test_util::log_capture log(3);
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    EXPECT_EQ(log.text(),
              "Error in fenu_file_manifest::save_file(), file 'ten' had short hash len of 10.\n\n"
              "Error in fenu_file_manifest::save_file(), file 'nineteen' had short hash len of 19.\n\n");
    EXPECT_EQ(read_file(path), header + "0123456789          1 ten\n"
                                        "0123456789abcdefghi          2 nineteen\n");
}

TEST(ManifestSave, RecordThatWouldNotLoadBackIsLeftOut)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    fenu_file_manifest manifest;
    add(manifest, hash20, 1, "kept");
    add(manifest, "xyz", 2, "bad hash");
    add(manifest, hash20 + " blank", 3, "blank in hash");
    manifest_record no_hash;
    ASSERT_TRUE(no_hash.set_name("no hash"));
    ASSERT_EQ(manifest.update_record(&no_hash), 1);
    EXPECT_EQ(manifest.find_record("no hash")->hash, nullptr);
    test_util::log_capture log(3);
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    for (const char *name : {"bad hash", "blank in hash", "no hash"})
        EXPECT_EQ(log.count(std::string("Error in fenu_file_manifest::save_file(), file '") + name +
                            "' has a hash or name that cannot be read back, not saved."),
                  1)
            << name;
    EXPECT_EQ(read_file(path), header + hash20 + "          1 kept\n");
}

TEST(ManifestSave, NewRecordIsTheFirstLineAfterTheHeader)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    ASSERT_TRUE(write_file(path, header + hash20 + " 1 old_a\n" + hash20 + " 2 old_b\n"));
    fenu_file_manifest manifest;
    ASSERT_EQ(manifest.load_file(path.c_str()), 2);
    add(manifest, hash20 + "new", 3, "new_file");
    add(manifest, hash20 + "chg", 4, "old_b");
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    EXPECT_EQ(read_file(path), header + hash20 + "new          3 new_file\n" +
                                   hash20 + "          1 old_a\n" +
                                   hash20 + "chg          4 old_b\n");
}

// The report every failed save gives, for `path`.
std::string save_failure(const std::string &path)
{
    return "Error in fenu_file_manifest::save_file() - unable to save file '" + path + "'.\n";
}

TEST(ManifestSave, FailuresReportAndLeaveTheOldFile)
{
    temp_dir dir;
    fenu_file_manifest manifest;
    add(manifest, hash20, 1, "a");
    test_util::log_capture log(3);

    // Below a regular file: the temporary file cannot be created.
    std::string plain = dir / "plain";
    ASSERT_TRUE(write_file(plain, "not a directory"));
    std::string below = plain + "/m.lst";
    EXPECT_EQ(manifest.save_file(below.c_str()), 0);
    EXPECT_EQ(log.text(), save_failure(below));
    EXPECT_EQ(read_file(plain), "not a directory");

    // Over a directory: everything is written, the rename fails, the temporary file goes.
    log.clear();
    std::string directory = dir / "m.lst";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    ASSERT_TRUE(write_file(directory + "/inside", "x"));
    EXPECT_EQ(manifest.save_file(directory.c_str()), 0);
    EXPECT_EQ(log.text(), save_failure(directory));
    EXPECT_TRUE(test_util::file_exists(directory + "/inside"));
    EXPECT_FALSE(test_util::file_exists(directory + ".tmp"));

    log.clear();
    EXPECT_EQ(manifest.save_file(nullptr), 0);
    EXPECT_EQ(log.text(), save_failure("(null)"));
}

TEST(ManifestSave, WriteFailureMidFileKeepsTheOldFile)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    std::string old_content = header + hash20 + "          1 installed\n";
    ASSERT_TRUE(write_file(path, old_content));
    std::string child_log = dir / "child.log";

    // A file size limit makes the writes fail part way (EFBIG) like a full disk. It is set in a
    // child so that the test program's own files are not limited.
    auto result = test_util::run_forked([&]() -> std::string {
        if (tavi_client_debug_logfile_is_open())
            tavi_client_debug_logfile_close();
        tavi_client_set_debug_logfile_name(child_log.c_str());
        log_level = 3;
        fenu_file_manifest manifest;
        for (int i = 0; i < 5000; i++)
            add(manifest, hash20, i, "file_" + std::to_string(i));
        log_printf("log opened\n");
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64 * 1024, 64 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return "setrlimit failed";
        return "save " + std::to_string(manifest.save_file(path.c_str()));
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "save 0");
    EXPECT_EQ(read_file(path), old_content);
    EXPECT_FALSE(test_util::file_exists(path + ".tmp"));
    std::string logged = read_file(child_log);
    std::string expected = "log opened\n" + save_failure(path);
    ASSERT_GE(logged.size(), expected.size());
    EXPECT_EQ(logged.substr(logged.size() - expected.size()), expected);
}

TEST(ManifestSave, ReplacedFileKeepsItsPermissions)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    ASSERT_TRUE(write_file(path, header, 0640));
    fenu_file_manifest manifest;
    add(manifest, hash20, 1, "a");
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    EXPECT_EQ(test_util::file_mode(path), 0640);
    EXPECT_EQ(read_file(path), header + hash20 + "          1 a\n");
}

TEST(ManifestSave, StaleTemporaryFileIsReplaced)
{
    temp_dir dir;
    std::string path = dir / "m.lst";
    ASSERT_TRUE(write_file(path + ".tmp", "left by a crash\n"));
    fenu_file_manifest manifest;
    add(manifest, hash20, 1, "a");
    ASSERT_EQ(manifest.save_file(path.c_str()), 1);
    EXPECT_EQ(read_file(path), header + hash20 + "          1 a\n");
    EXPECT_FALSE(test_util::file_exists(path + ".tmp"));
}

// ---- update_record, remove_missing_files -------------------------------------------------------

TEST(ManifestUpdate, ExistingRecordGetsCopiesNewOnesGoFirst)
{
    fenu_file_manifest manifest;
    add(manifest, hash20, 1, "a");
    manifest_record source;
    ASSERT_TRUE(source.set_name("a"));
    ASSERT_TRUE(source.set_hash("fedcba9876543210"));
    source.size = 99;
    ASSERT_EQ(manifest.update_record(&source), 1);
    source.hash[0] = 'X';   // the manifest holds its own copy
    std::vector<record_view> expected = {{"fedcba9876543210", 99, "a"}};
    EXPECT_EQ(records_of(manifest), expected);

    ASSERT_TRUE(source.set_hash(nullptr));
    ASSERT_EQ(manifest.update_record(&source), 1);
    EXPECT_EQ(manifest.find_record("a")->hash, nullptr);

    add(manifest, hash20, 2, "b");
    EXPECT_EQ(manifest.first_record()->name, std::string("b"));
    EXPECT_EQ(manifest.record_count(), 2);
}

TEST(ManifestUpdate, UnsafeNameIsRefused)
{
    fenu_file_manifest manifest;
    manifest_record source;
    ASSERT_TRUE(source.set_name("../escape"));
    ASSERT_TRUE(source.set_hash(hash20.c_str()));
    test_util::log_capture log(3);
    EXPECT_EQ(manifest.update_record(&source), 0);
    EXPECT_EQ(manifest.record_count(), 0);
    EXPECT_EQ(manifest.find_record("../escape"), nullptr);
    EXPECT_EQ(log.text(), "Error in fenu_file_manifest::update_record(), unsafe file name "
                          "'../escape'.\n");
}

TEST(ManifestPrune, KeepsRegularFilesInOrder)
{
    temp_dir dir;
    ASSERT_TRUE(write_file(dir / "a", "1"));
    ASSERT_TRUE(write_file(dir / "name with space ", "1"));
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);
    ASSERT_TRUE(write_file(dir / "sub/c", "1"));
    ASSERT_EQ(symlink("a", (dir / "link_to_a").c_str()), 0);
    ASSERT_EQ(symlink("gone", (dir / "dangling").c_str()), 0);
    std::string path = dir / "m.lst";
    ASSERT_TRUE(write_file(path, "0123456789 1 missing\n0123456789 2 a\n0123456789 3 sub\n"
                                 "0123456789 4 sub/c\n0123456789 5 dangling\n"
                                 "0123456789 6 name with space \n0123456789 7 link_to_a\n"
                                 "0123456789 8 /a\n0123456789 9 last_missing\n"));
    fenu_file_manifest manifest;
    ASSERT_EQ(manifest.load_file(path.c_str()), 9);
    EXPECT_EQ(manifest.remove_missing_files(dir.path().c_str()), 5);
    std::vector<std::string> names;
    for (const manifest_record *r = manifest.first_record(); r; r = r->link)
        names.push_back(r->name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "sub/c", "name with space ", "link_to_a", "/a"}));
    EXPECT_EQ(manifest.find_record("sub"), nullptr);
    EXPECT_EQ(manifest.find_record("missing"), nullptr);
    EXPECT_NE(manifest.find_record("a"), nullptr);
    // The tail stays right: an update of a new name goes first, the list stays whole.
    add(manifest, hash20, 10, "new");
    EXPECT_EQ(manifest.record_count(), 6);
    EXPECT_EQ(manifest.remove_missing_files(dir.path().c_str()), 5);
}

TEST(ManifestIndex, FollowsLoadsPruningAndUpdates)
{
    temp_dir dir;
    std::string first = dir / "first.lst", second = dir / "second.lst";
    ASSERT_TRUE(write_file(first, "0123456789 1 a\n0123456789 2 gone_1\n0123456789 3 b\n"));
    ASSERT_TRUE(write_file(second, "0123456789 4 gone_2\n0123456789 5 c\n0123456789 6 b\n"
                                   "0123456789 7 gone_3\n"));
    for (const char *name : {"a", "b", "c"})
        ASSERT_TRUE(write_file(dir / name, "x"));
    test_util::log_capture log(3);
    fenu_file_manifest manifest;
    ASSERT_EQ(manifest.load_file(first.c_str()), 3);
    EXPECT_EQ(manifest.find_record("b")->size, 3);
    // Records appended after a lookup are found as well, the later of equal names first.
    ASSERT_EQ(manifest.load_file(second.c_str()), 4);
    EXPECT_EQ(manifest.find_record("b")->size, 6);
    ASSERT_EQ(manifest.load_file(second.c_str()), 4);
    EXPECT_EQ(manifest.remove_missing_files(dir.path().c_str()), 6);
    for (const char *name : {"gone_1", "gone_2", "gone_3"})
        EXPECT_EQ(manifest.find_record(name), nullptr) << name;
    EXPECT_EQ(manifest.find_record("c")->size, 5);
    EXPECT_EQ(manifest.find_record("a")->size, 1);
    // Pruned before any lookup: the dropped ones are not found, the kept ones are.
    fenu_file_manifest fresh;
    ASSERT_EQ(fresh.load_file(second.c_str()), 4);
    EXPECT_EQ(fresh.remove_missing_files(dir.path().c_str()), 2);
    EXPECT_EQ(fresh.find_record("gone_2"), nullptr);
    EXPECT_EQ(fresh.find_record("b")->size, 6);
    add(fresh, hash20, 8, "gone_2");
    EXPECT_EQ(fresh.find_record("gone_2")->size, 8);
    EXPECT_EQ(fresh.first_record()->name, std::string("gone_2"));
    EXPECT_EQ(log.text(), "");   // no duplicate-thing reports from the index
}

TEST(ManifestPrune, WithoutDirectoryTheNameStandsAlone)
{
    temp_dir dir;
    std::string present = dir / "present";
    ASSERT_TRUE(write_file(present, "1"));
    for (const char *directory : {static_cast<const char *>(nullptr), ""}) {
        fenu_file_manifest manifest;
        add(manifest, hash20, 1, present);
        add(manifest, hash20, 2, dir / "absent");
        EXPECT_EQ(manifest.remove_missing_files(directory), 1);
        EXPECT_EQ(manifest.first_record()->name, present);
    }
}

} // namespace
