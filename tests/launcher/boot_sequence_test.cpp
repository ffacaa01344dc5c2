// Boot sequence: list order and filters, crash-detection marker, exec of real client programs.
#include "launcher/boot_sequence.h"

#include "launcher/launcher_globals.h"
#include "launcher/system_config.h"
#include "support/debug_log.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using test_util::read_file;
using test_util::temp_dir;
using test_util::write_file;

namespace {

// When this program is started as a client image by a boot case, it records its arguments
// (NUL-separated in /proc/self/cmdline) as "arg|arg|...|" and ends at once.
constexpr const char *argv_record_variable = "MORVELLE_BOOT_TEST_ARGV_RECORD";
const int started_as_client = [] {
    const char *record = getenv(argv_record_variable);
    if (!record)
        return 0;
    std::string arguments = read_file("/proc/self/cmdline");
    for (char &c : arguments)
        if (c == '\0')
            c = '|';
    write_file(record, arguments);
    _exit(0);
}();

const std::string hash = "0123456789abcdef0123";

enum class image { client, broken, copy_of_this_program };

struct image_file {
    const char *name;
    image kind;
};

// A throw-away configuration directory with its executables directory, manifest and marker.
class boot_home {
public:
    boot_home()
        : executables(dir / "executables"), manifest(executables + "/update_manifest.lst"),
          marker(dir / "bootname.txt"), record(dir / "record.txt"), log(dir / "log.txt")
    {
        EXPECT_EQ(mkdir(executables.c_str(), 0700), 0);
    }

    void write_manifest(const std::vector<std::string> &names)
    {
        std::string text = "# comment\n\n";
        for (const auto &name : names)
            text += hash + " 100 " + name + "\n";
        ASSERT_TRUE(write_file(manifest, text));
    }

    // A client that appends "$0|args...|#count" and the marker's content to the record file.
    void add_image(const image_file &file)
    {
        std::string path = executables + "/" + file.name;
        switch (file.kind) {
        case image::client:
            ASSERT_TRUE(write_file(path,
                                   "#!/bin/sh\n"
                                   "printf '%s|' \"$0\" \"$@\" >> '" + record + "'\n"
                                   "printf '#%s\\n' \"$#\" >> '" + record + "'\n"
                                   "printf 'marker=' >> '" + record + "'\n"
                                   "cat '" + marker + "' >> '" + record + "' 2>/dev/null\n"
                                   "exit 0\n",
                                   0700));
            break;
        case image::broken:   // neither a program of this system nor a script: exec fails
            ASSERT_TRUE(write_file(path, "this is not a program\n", 0600));
            break;
        case image::copy_of_this_program:
            ASSERT_TRUE(write_file(path, read_file("/proc/self/exe"), 0700));
            break;
        }
    }

    // Points the launcher's paths at this directory.
    void use() const
    {
        manifest_path.assign(manifest.c_str());
        executables_dir.assign(executables.c_str());
        bootname_path.assign(marker.c_str());
    }

    temp_dir dir;
    std::string executables, manifest, marker, record, log;
};

// The boot sequence's own lines: the support library's reports (its exec errors and trace
// lines) are dropped.
std::vector<std::string> boot_lines(const std::string &log)
{
    std::vector<std::string> out;
    for (const auto &line : test_util::lines_of(log))
        if (line.rfind("tavi_", 0) != 0 && line.rfind("Error in tavi_", 0) != 0)
            out.push_back(line);
    return out;
}

std::string replace_all(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

int close_calls = 0;
void count_close() { close_calls++; }

// Runs boot_sequence() in a child. Returns "" when an image was exec'd, else "returned N
// closed K".
test_util::forked_result run_boot(const boot_home &home, int beta)
{
    return test_util::run_forked(
        [&]() -> std::string {
            set_beta_test_enable(beta);
            test_util::log_to(home.log, 3);
            home.use();
            boot_close_launcher_window = count_close;
            int listed = boot_sequence();
            return "returned " + std::to_string(listed) + " closed " + std::to_string(close_calls);
        },
        30);
}

const char *const no_marker = nullptr;

struct boot_case {
    const char *title;
    std::vector<image_file> files;
    std::vector<std::string> manifest;
    const char *marker_before;           // no_marker: no marker file
    int beta;
    const char *returned;                // null: an image was started
    const char *record;                  // what the started client recorded (D = executables)
    const char *marker_after;
    std::vector<std::string> log;        // boot lines; M = manifest path, D = executables dir
};

const boot_case boot_cases[] = {
    {"greatest name first, no marker",
     {{"img_a", image::client}, {"img_c", image::client}, {"img_b", image::client}},
     {"img_a", "img_c", "img_b"}, no_marker, 0, nullptr,
     "D/img_c|-l|1.096-g64-rc4|#2\nmarker=img_c\n", "img_c\n",
     {"Loaded 3 entries from current manifest file 'M'.", "Got executable filename 'img_c'.",
      "Got executable filename 'img_b'.", "Got executable filename 'img_a'.",
      "Trying executable 'D/img_c'."}},
    {"empty marker skips nothing",
     {{"img_a", image::client}, {"img_b", image::client}}, {"img_a", "img_b"}, "", 0, nullptr,
     "D/img_b|-l|1.096-g64-rc4|#2\nmarker=img_b\n", "img_b\n",
     {"Loaded 2 entries from current manifest file 'M'.", "Got executable filename 'img_b'.",
      "Got executable filename 'img_a'.", "Trying executable 'D/img_b'."}},
    {"marker names the greatest: it is skipped",
     {{"img_a", image::client}, {"img_c", image::client}, {"img_b", image::client}},
     {"img_a", "img_c", "img_b"}, "img_c\r\n", 0, nullptr,
     "D/img_b|-l|1.096-g64-rc4|#2\nmarker=img_b\n", "img_b\n",
     {"Loaded 3 entries from current manifest file 'M'.", "Got executable filename 'img_c'.",
      "Got executable filename 'img_b'.", "Got executable filename 'img_a'.",
      "Previous boot of image 'img_c' failed.", "Skipping, will try older images.",
      "Trying executable 'D/img_b'."}},
    {"marker names the only image: it is retried",
     {{"img_a", image::client}}, {"img_a"}, "img_a\n", 0, nullptr,
     "D/img_a|-l|1.096-g64-rc4|#2\nmarker=img_a\n", "img_a\n",
     {"Loaded 1 entries from current manifest file 'M'.", "Got executable filename 'img_a'.",
      "Previous boot of image 'img_a' failed.", "No other images, retrying.",
      "Trying executable 'D/img_a'."}},
    {"beta mode off: beta names are left out",
     {{"client_a", image::client}, {"client_beta2", image::client}}, {"client_beta2", "client_a"},
     no_marker, 0, nullptr, "D/client_a|-l|1.096-g64-rc4|#2\nmarker=client_a\n", "client_a\n",
     {"Loaded 1 entries from current manifest file 'M'.", "Got executable filename 'client_a'.",
      "Trying executable 'D/client_a'."}},
    {"beta mode on: beta names are ordered with the others",
     {{"client_a", image::client}, {"client_beta2", image::client}}, {"client_a", "client_beta2"},
     no_marker, 1, nullptr, "D/client_beta2|-l|1.096-g64-rc4|#2\nmarker=client_beta2\n",
     "client_beta2\n",
     {"Loaded 2 entries from current manifest file 'M'.",
      "Got executable filename 'client_beta2'.", "Got executable filename 'client_a'.",
      "Trying executable 'D/client_beta2'."}},
    {"a listed file that is missing is not tried",
     {{"img_a", image::client}}, {"img_z", "img_a"}, no_marker, 0, nullptr,
     "D/img_a|-l|1.096-g64-rc4|#2\nmarker=img_a\n", "img_a\n",
     {"Loaded 1 entries from current manifest file 'M'.", "Got executable filename 'img_a'.",
      "Trying executable 'D/img_a'."}},
    {"an image that cannot be exec'd is followed by the next",
     {{"img_a", image::client}, {"img_c", image::broken}, {"img_b", image::client}},
     {"img_a", "img_b", "img_c"}, no_marker, 0, nullptr,
     "D/img_b|-l|1.096-g64-rc4|#2\nmarker=img_b\n", "img_b\n",
     {"Loaded 3 entries from current manifest file 'M'.", "Got executable filename 'img_c'.",
      "Got executable filename 'img_b'.", "Got executable filename 'img_a'.",
      "Trying executable 'D/img_c'.", "Boot exec for filename 'D/img_c' failed.",
      "Trying next in line.", "Trying executable 'D/img_b'."}},
    {"every image fails: the closing lines once, no further attempt",
     {{"img_a", image::broken}, {"img_b", image::broken}}, {"img_a", "img_b"}, no_marker, 0,
     "returned 2 closed 0", nullptr, "img_a\n",
     {"Loaded 2 entries from current manifest file 'M'.", "Got executable filename 'img_b'.",
      "Got executable filename 'img_a'.", "Trying executable 'D/img_b'.",
      "Boot exec for filename 'D/img_b' failed.", "Trying next in line.",
      "Trying executable 'D/img_a'.",
      "Boot exec for filename 'D/img_a' failed.", "Trying next in line.",
      "Sorry, no valid executables found - cannot start game.",
      "If this message continues to occur, please notify the game admin."}},
    {"nothing listed: the window is closed",
     {{"img_a", image::client}}, {}, "img_a\n", 0, "returned 0 closed 1", nullptr, "img_a\n",
     {"", "Sorry, no executables found - cannot start game.",
      "This launcher will attempt to download one if you restart it.",
      "If this message continues to occur, please notify the game admin.", "",
      "Loaded 0 entries from current manifest file 'M'.",
      "Sorry, no valid executables found - cannot start game.",
      "If this message continues to occur, please notify the game admin."}},
    {"a name rooted with '/' stays inside the executables directory",
     {{"img_a", image::client}}, {"/img_a"}, no_marker, 0, nullptr,
     "D//img_a|-l|1.096-g64-rc4|#2\nmarker=/img_a\n", "/img_a\n",
     {"Loaded 1 entries from current manifest file 'M'.", "Got executable filename '/img_a'.",
      "Trying executable 'D//img_a'."}},
};

TEST(BootSequence, Cases)
{
    for (const boot_case &c : boot_cases) {
        SCOPED_TRACE(c.title);
        boot_home home;
        for (const auto &file : c.files)
            home.add_image(file);
        if (c.manifest.empty()) {
            ASSERT_TRUE(write_file(home.manifest, "# nothing\n"));
        } else {
            home.write_manifest(c.manifest);
        }
        if (c.marker_before) {
            ASSERT_TRUE(write_file(home.marker, c.marker_before));
        }

        auto result = run_boot(home, c.beta);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, c.returned ? c.returned : "");
        EXPECT_EQ(read_file(home.record),
                  c.record ? replace_all(c.record, "D/", home.executables + "/") : "");
        EXPECT_EQ(read_file(home.marker), c.marker_after);

        std::vector<std::string> expected;
        for (const auto &line : c.log)
            expected.push_back(replace_all(replace_all(line, "'M'", "'" + home.manifest + "'"),
                                           "'D/", "'" + home.executables + "/"));
        EXPECT_EQ(boot_lines(read_file(home.log)), expected);
    }
}

TEST(BootSequence, ArgumentZeroIsTheBareName)
{
    boot_home home;
    home.add_image({"img_bin", image::copy_of_this_program});
    home.write_manifest({"img_bin"});
    std::string argv_record = home.dir / "argv.txt";
    auto result = test_util::run_forked(
        [&]() -> std::string {
            setenv(argv_record_variable, argv_record.c_str(), 1);
            test_util::log_to(home.log, 3);
            home.use();
            boot_sequence();
            return "returned";
        },
        30);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(read_file(argv_record), "img_bin|-l|1.096-g64-rc4|");
    EXPECT_EQ(test_util::file_mode(home.executables + "/img_bin"), 0700);
}

TEST(BootSequence, UnwritableMarkerStillStartsTheImage)
{
    boot_home home;
    home.add_image({"img_a", image::client});
    home.write_manifest({"img_a"});
    std::string plain = home.dir / "plain";
    ASSERT_TRUE(write_file(plain, "x"));
    home.marker = plain + "/bootname.txt";   // below a regular file: cannot be created
    auto result = run_boot(home, 0);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(read_file(home.record), home.executables + "/img_a|-l|1.096-g64-rc4|#2\nmarker=");
    std::vector<std::string> expected = {
        "Loaded 1 entries from current manifest file '" + home.manifest + "'.",
        "Got executable filename 'img_a'.",
        "write_crash_detect_file(), unable to open file '" + home.marker + "' for writing.",
        "Trying executable '" + home.executables + "/img_a'.",
    };
    EXPECT_EQ(boot_lines(read_file(home.log)), expected);
}

TEST(BootSequence, UnsafeManifestNameIsNeverExecuted)
{
    boot_home home;
    // A valid client outside the executables directory, named through "..".
    std::string outside = home.dir / "outside";
    ASSERT_TRUE(write_file(outside, "#!/bin/sh\necho ran > '" + home.record + "'\n", 0700));
    home.add_image({"img_a", image::client});
    ASSERT_TRUE(write_file(home.manifest, hash + " 1 ../outside\n" + hash + " 1 img_a\n"));
    auto result = run_boot(home, 0);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "returned 0 closed 1");
    EXPECT_EQ(read_file(home.record), "");
    std::string log = read_file(home.log);
    EXPECT_NE(log.find("Syntax error in file manifest - unsafe file name for line:\n" + hash +
                       " 1 ../outside\n"),
              std::string::npos)
        << log;
}

// ---- build_executable_list, in this process (it starts nothing) ------------------------------

std::vector<std::string> listed_names()
{
    std::vector<std::string> names;
    for (int i = 0; i < executable_list.count; i++)
        names.push_back(static_cast<const char *>(executable_list.items[i]));
    return names;
}

TEST(BuildExecutableList, ByteWiseDescendingOrderAndRebuild)
{
    boot_home home;
    std::vector<std::string> names = {"img10", "Img_z", "img9", "img_beta", "img", "img-1",
                                      "sub/x"};
    ASSERT_EQ(mkdir((home.executables + "/sub").c_str(), 0700), 0);
    for (const auto &name : names)
        home.add_image({name.c_str(), image::client});
    home.write_manifest(names);
    home.use();
    set_beta_test_enable(0);
    std::vector<std::string> expected = {"sub/x", "img9", "img10", "img-1", "img", "Img_z"};
    build_executable_list();
    EXPECT_EQ(listed_names(), expected);
    build_executable_list();   // a second build replaces the list and the manifest
    EXPECT_EQ(listed_names(), expected);
    EXPECT_EQ(current_manifest.record_count(), 7);
    // The names are the manifest's own strings.
    ASSERT_FALSE(listed_names().empty());
    EXPECT_EQ(executable_list.items[0], current_manifest.find_record("sub/x")->name);
}

TEST(BuildExecutableList, ManyNamesComeOutSorted)
{
    boot_home home;
    std::vector<std::string> names;
    for (int i = 0; i < 300; i++)   // more than the inline slots and the first heap storage
        names.push_back("img_" + std::to_string((i * 7919) % 1000));
    for (const auto &name : names)
        home.add_image({name.c_str(), image::broken});
    home.write_manifest(names);
    home.use();
    build_executable_list();
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end(), std::greater<std::string>());
    EXPECT_EQ(listed_names(), expected);
}

TEST(BuildExecutableList, NothingUsableLeavesTheListEmpty)
{
    boot_home home;
    home.use();
    struct {
        const char *title;
        const char *manifest;   // null: no manifest file
    } cases[] = {
        {"missing manifest", nullptr},
        {"comments only", "# nothing\n\n"},
        {"no listed file on disk", "0123456789 1 gone\n"},
        {"syntax error after a present file", "0123456789 1 present\nbad line\n"},
    };
    ASSERT_TRUE(write_file(home.executables + "/present", "x"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        unlink(home.manifest.c_str());
        if (c.manifest) {
            ASSERT_TRUE(write_file(home.manifest, c.manifest));
        }
        build_executable_list();
        EXPECT_EQ(executable_list.count, 0);
    }
    // An empty executables directory path lists nothing even with the files present.
    ASSERT_TRUE(write_file(home.manifest, "0123456789 1 present\n"));
    build_executable_list();
    EXPECT_EQ(listed_names(), std::vector<std::string>{"present"});
    executables_dir.clear();
    build_executable_list();
    EXPECT_EQ(executable_list.count, 0);
}

} // namespace
