// Configuration directory set-up and directory creation, on real directories in a throw-away
// tree. Set-up keeps process-wide state and reads HOME and the working directory, so every case
// runs in a forked child; read-only places that stop root as well are made with read-only bind
// mounts in a private mount namespace of that child.
#include "support/config_directory.h"

#include "support/debug_log.h"
#include "support/fixed_string.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <cerrno>
#include <climits>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using test_util::file_exists;
using test_util::file_mode;
using test_util::lines_of;
using test_util::log_to;
using test_util::read_file;
using test_util::run_forked;
using test_util::temp_dir;
using test_util::write_file;

namespace {

// How a child sees the file system: directories made read-only (in that order), then the
// working directory, then an optional replacement for /tmp, then a read-only root. The working
// directory stays writeable under a read-only root unless it is listed read-only.
struct mount_plan {
    std::vector<std::string> read_only;
    std::string fake_tmp;          // bound over /tmp when not empty
    bool fake_tmp_read_only = false;
    bool root_read_only = false;

    bool needed() const { return !read_only.empty() || !fake_tmp.empty() || root_read_only; }
};

bool bind_self_read_only(const std::string &dir)
{
    return mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// In a child: applies `plan` and enters `cwd`. Files opened before (the log) stay writeable:
// they belong to the mounts of the parent's namespace.
bool enter(const mount_plan &plan, const std::string &cwd)
{
    if (plan.needed()) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return false;
        for (const auto &dir : plan.read_only)
            if (!bind_self_read_only(dir))
                return false;
        bool cwd_read_only =
            std::find(plan.read_only.begin(), plan.read_only.end(), cwd) != plan.read_only.end();
        if (plan.root_read_only && !cwd_read_only &&
            mount(cwd.c_str(), cwd.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return false;
    }
    if (chdir(cwd.c_str()) != 0)
        return false;
    if (!plan.fake_tmp.empty()) {
        if (mount(plan.fake_tmp.c_str(), "/tmp", nullptr, MS_BIND, nullptr) != 0)
            return false;
        if (plan.fake_tmp_read_only &&
            mount(nullptr, "/tmp", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return false;
    }
    if (plan.root_read_only &&
        mount(nullptr, "/", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        return false;
    return true;
}

bool mount_namespaces_work()
{
    static int works = -1;
    if (works < 0) {
        temp_dir probe;
        mount_plan plan;
        plan.read_only = {probe.path()};
        auto r = run_forked([&] {
            if (!enter(plan, probe.path()))
                return std::string("no");
            return std::string(write_file(probe / "w", "x") ? "writeable" : "yes");
        });
        works = r.output == "yes";
    }
    return works;
}

#define REQUIRE_MOUNT_NAMESPACES()                                                              \
    do {                                                                                       \
        if (!mount_namespaces_work())                                                          \
            GTEST_SKIP() << "needs private mount namespaces (CAP_SYS_ADMIN) for read-only "   \
                            "directories that stop root";                                      \
    } while (0)

std::vector<std::string> entries_of(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// ---- set-up ------------------------------------------------------------------------------

struct setup_case {
    const char *what;
    const char *home;              // "@" stands for the tree's root; null: HOME unset
    std::vector<const char *> dirs;    // made before (under the root)
    std::vector<const char *> files;   // made before (under the root)
    std::vector<const char *> read_only; // under the root
    const char *fake_tmp;          // under the root, bound over /tmp; null: none
    bool fake_tmp_read_only;
    bool root_read_only;
    int expected_result;
    const char *expected_path;     // "@" for the root; null: none
    const char *created;           // directory expected afterwards (under the root), or null
    std::vector<const char *> log; // the whole log, line by line ("@" for the root)
};

std::string expand(const char *text, const std::string &root)
{
    std::string out;
    for (const char *c = text; *c; c++)
        if (*c == '@')
            out += root;
        else
            out += *c;
    return out;
}

class ConfigDirectory : public ::testing::Test {
protected:
    temp_dir tree;
    std::string root = tree.path();
    std::string log_path = tree / "log.txt";

    void SetUp() override
    {
        ASSERT_FALSE(root.empty());
        ASSERT_EQ(mkdir((tree / "work").c_str(), 0755), 0);
    }

    std::string log() { return read_file(log_path); }
};

TEST_F(ConfigDirectory, SetUpTriesCandidatesInOrder)
{
    const setup_case cases[] = {
        {"writeable home", "@/home", {"home"}, {}, {}, nullptr, false, false, 1, "@/home/.Morvelle",
         "home/.Morvelle",
         {"Checking config directory: @/home/.Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '@/home/.Morvelle'"}},
        {"home tree missing", "@/new/home", {}, {}, {}, nullptr, false, false, 1,
         "@/new/home/.Morvelle", "new/home/.Morvelle",
         {"Checking config directory: @/new/home/.Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '@/new/home/.Morvelle'"}},
        {"home below a regular file", "@/plain/home", {}, {"plain"}, {}, nullptr, false, false, 1,
         ".Morvelle", "work/.Morvelle",
         {"Checking config directory: @/plain/home/.Morvelle [FAIL]",
          "Checking config directory: .Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '.Morvelle'"}},
        {"a file in the way", "@/home", {"home"}, {"home/.Morvelle"}, {}, nullptr, false, false, 1,
         ".Morvelle", "work/.Morvelle",
         {"Checking config directory: @/home/.Morvelle [FAIL]",
          "Checking config directory: .Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '.Morvelle'"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir t;
        std::string r = t.path();
        ASSERT_EQ(mkdir((t / "work").c_str(), 0755), 0);
        for (const char *d : c.dirs)
            ASSERT_EQ(mkdir((t / d).c_str(), 0755), 0);
        for (const char *f : c.files)
            ASSERT_TRUE(write_file(t / f, "in the way\n"));
        std::string home = expand(c.home, r);
        auto out = run_forked([&] {
            log_to(t / "log.txt", 3);
            umask(022);
            if (chdir((t / "work").c_str()) != 0)
                return std::string("chdir failed");
            setenv("HOME", home.c_str(), 1);
            int result = tavi_client_set_up_config_directory("Morvelle");
            const char *path = tavi_client_get_config_directory();
            return std::to_string(result) + "\n" + (path ? path : "(none)");
        });
        ASSERT_EQ(out.status, 0);
        EXPECT_EQ(out.output, std::to_string(c.expected_result) + "\n" + expand(c.expected_path, r));
        std::string created = t / c.created;
        EXPECT_EQ(file_mode(created), 0700);
        EXPECT_FALSE(file_exists(created + "/" + tavi_write_probe_name));
        EXPECT_TRUE(entries_of(created).empty());
        std::vector<std::string> expected_log;
        for (const char *line : c.log)
            expected_log.push_back(expand(line, r));
        EXPECT_EQ(lines_of(read_file(t / "log.txt")), expected_log);
        for (const char *f : c.files)
            EXPECT_EQ(read_file(t / f), "in the way\n");
    }
}

TEST_F(ConfigDirectory, MissingHomeTreeIsCreatedOwnerOnly)
{
    std::string home = tree / "a/b";
    auto out = run_forked([&] {
        umask(0);
        if (chdir((tree / "work").c_str()) != 0)
            return std::string("chdir failed");
        setenv("HOME", home.c_str(), 1);
        return std::to_string(tavi_client_set_up_config_directory("Morvelle"));
    });
    ASSERT_EQ(out.output, "1");
    for (const char *dir : {"a", "a/b", "a/b/.Morvelle"})
        EXPECT_EQ(file_mode(tree / dir), 0700) << dir;
}

// Cases that need places where even root cannot write.
TEST_F(ConfigDirectory, SetUpFallsBackPastReadOnlyPlaces)
{
    REQUIRE_MOUNT_NAMESPACES();
    const setup_case cases[] = {
        {"read-only home", "@/home", {"home"}, {}, {"home"}, nullptr, false, false, 1, ".Morvelle",
         "work/.Morvelle",
         {"Checking config directory: @/home/.Morvelle [FAIL]",
          "Checking config directory: .Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '.Morvelle'"}},
        {"empty home is the root", "", {}, {}, {}, nullptr, false, true, 1, ".Morvelle",
         "work/.Morvelle",
         {"Checking config directory: /.Morvelle [FAIL]", "Checking config directory: .Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '.Morvelle'"}},
        {"only /tmp is writeable", "/no-such-home", {"tmp"}, {}, {"work"}, "tmp", false, true, 1,
         "/tmp/Morvelle", "tmp/Morvelle",
         {"Checking config directory: /no-such-home/.Morvelle [FAIL]",
          "Checking config directory: .Morvelle [FAIL]", "Checking config directory: /tmp/Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory '/tmp/Morvelle'"}},
        {"last resort: bare name", "/no-such-home", {"tmp"}, {"work/.Morvelle"}, {}, "tmp", true,
         true, 1, "Morvelle", "work/Morvelle",
         {"Checking config directory: /no-such-home/.Morvelle [FAIL]",
          "Checking config directory: .Morvelle [FAIL]",
          "Checking config directory: /tmp/Morvelle [FAIL]", "Checking config directory: Morvelle",
          "tavi_client_set_up_config_directory() - got final config directory 'Morvelle'"}},
        {"nowhere to go", "/no-such-home", {"tmp"}, {}, {"work"}, "tmp", true, true, 0, "(none)",
         nullptr,
         {"Checking config directory: /no-such-home/.Morvelle [FAIL]",
          "Checking config directory: .Morvelle [FAIL]",
          "Checking config directory: /tmp/Morvelle [FAIL]",
          "Checking config directory: Morvelle [FAIL]",
          "tavi_client_set_up_config_directory() - Giving up.  Cannot create config directory."}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir t;
        std::string r = t.path();
        ASSERT_EQ(mkdir((t / "work").c_str(), 0755), 0);
        for (const char *d : c.dirs)
            ASSERT_EQ(mkdir((t / d).c_str(), 0755), 0);
        for (const char *f : c.files)
            ASSERT_TRUE(write_file(t / f, "in the way\n"));
        mount_plan plan;
        for (const char *d : c.read_only)
            plan.read_only.push_back(t / d);
        plan.fake_tmp = c.fake_tmp ? t / c.fake_tmp : "";
        plan.fake_tmp_read_only = c.fake_tmp_read_only;
        plan.root_read_only = c.root_read_only;
        std::string home = expand(c.home, r);
        auto out = run_forked([&] {
            log_to(t / "log.txt", 3);
            if (!enter(plan, t / "work"))
                return std::string("mount plan failed");
            setenv("HOME", home.c_str(), 1);
            int result = tavi_client_set_up_config_directory("Morvelle");
            const char *path = tavi_client_get_config_directory();
            return std::to_string(result) + "\n" + (path ? path : "(none)");
        });
        ASSERT_EQ(out.status, 0);
        EXPECT_EQ(out.output, std::to_string(c.expected_result) + "\n" + c.expected_path);
        if (c.created) {
            EXPECT_EQ(file_mode(t / c.created), 0700);
            EXPECT_TRUE(entries_of(t / c.created).empty());
        }
        for (const char *d : c.read_only)
            EXPECT_TRUE(entries_of(t / d).empty()) << d;
        std::vector<std::string> expected_log;
        for (const char *line : c.log)
            expected_log.push_back(expand(line, r));
        EXPECT_EQ(lines_of(read_file(t / "log.txt")), expected_log);
    }
    // None of the children reached the real /tmp or the real root.
    EXPECT_FALSE(file_exists("/.Morvelle"));
}

TEST_F(ConfigDirectory, GivingUpIsReportedWithoutTracing)
{
    REQUIRE_MOUNT_NAMESPACES();
    ASSERT_EQ(mkdir((tree / "tmp").c_str(), 0755), 0);
    mount_plan plan;
    plan.read_only = {tree / "work"};
    plan.fake_tmp = tree / "tmp";
    plan.fake_tmp_read_only = true;
    plan.root_read_only = true;
    auto out = run_forked([&] {
        log_to(log_path, 1);
        if (!enter(plan, tree / "work"))
            return std::string("mount plan failed");
        setenv("HOME", "/no-such-home", 1);
        return std::to_string(tavi_client_set_up_config_directory("Morvelle"));
    });
    EXPECT_EQ(out.output, "0");
    EXPECT_EQ(log(), "tavi_client_set_up_config_directory() - Giving up.  Cannot create config "
                     "directory.\n");
}

TEST_F(ConfigDirectory, UnsetHomeFailsAtOnce)
{
    auto out = run_forked([&] {
        log_to(log_path, 3);
        if (chdir((tree / "work").c_str()) != 0)
            return std::string("chdir failed");
        unsetenv("HOME");
        int result = tavi_client_set_up_config_directory("Morvelle");
        return std::to_string(result) + (tavi_client_get_config_directory() ? " set" : " none");
    });
    EXPECT_EQ(out.output, "0 none");
    EXPECT_EQ(log(), "Error in tavi_client_set_up_config_directory(), unable to fetch home "
                     "directory - please set HOME environment variable and restart.\n");
    EXPECT_TRUE(entries_of(tree / "work").empty());
}

TEST_F(ConfigDirectory, NullNameFailsSilently)
{
    auto out = run_forked([&] {
        log_to(log_path, 3);
        if (chdir((tree / "work").c_str()) != 0)
            return std::string("chdir failed");
        setenv("HOME", (tree / "work").c_str(), 1);
        int result = tavi_client_set_up_config_directory(nullptr);
        return std::to_string(result) + (tavi_client_get_config_directory() ? " set" : " none");
    });
    EXPECT_EQ(out.output, "0 none");
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(entries_of(tree / "work").empty());
}

TEST_F(ConfigDirectory, SecondSetUpIsReportedAndReplacesOnSuccessOnly)
{
    std::string home = tree / "work";
    auto out = run_forked([&] {
        log_to(log_path, 3);
        if (chdir((tree / "work").c_str()) != 0)
            return std::string("chdir failed");
        setenv("HOME", home.c_str(), 1);
        std::string r = std::to_string(tavi_client_set_up_config_directory("Morvelle"));
        const char *first = tavi_client_get_config_directory();
        r += " " + std::to_string(tavi_client_set_up_config_directory("Other"));
        const char *second = tavi_client_get_config_directory();
        // The earlier pointer stays usable and shows the new path.
        r += std::string(" ") + first + " " + (first == second ? "same" : "moved");
        unsetenv("HOME");
        r += " " + std::to_string(tavi_client_set_up_config_directory("Third"));
        return r + " " + tavi_client_get_config_directory();
    });
    EXPECT_EQ(out.output, "1 1 " + home + "/.Other same 0 " + home + "/.Other");
    EXPECT_EQ(lines_of(log()),
              (std::vector<std::string>{
                  "Checking config directory: " + home + "/.Morvelle",
                  "tavi_client_set_up_config_directory() - got final config directory '" + home +
                      "/.Morvelle'",
                  "Error in tavi_client_set_up_config_directory(), attempt to change config "
                  "directory path after initial configuration.",
                  "Old path '" + home + "/.Morvelle', new base name 'Other'",
                  "Checking config directory: " + home + "/.Other",
                  "tavi_client_set_up_config_directory() - got final config directory '" + home +
                      "/.Other'",
                  "Error in tavi_client_set_up_config_directory(), attempt to change config "
                  "directory path after initial configuration.",
                  "Old path '" + home + "/.Other', new base name 'Third'",
                  "Error in tavi_client_set_up_config_directory(), unable to fetch home "
                  "directory - please set HOME environment variable and restart.",
              }));
}

// ---- changing into it --------------------------------------------------------------------

TEST_F(ConfigDirectory, CdToConfigDirectory)
{
    std::string home = tree / "work";
    std::string dir = home + "/.Morvelle";
    struct {
        const char *what;
        void (*spoil)(const std::string &dir);   // done after set-up, before the change
        bool drop_root;
        std::string expected;
        const char *report;                       // the one line logged by the change, or ""
    } cases[] = {
        {"works", [](const std::string &) {}, false, "1 " + dir, ""},
        {"removed", [](const std::string &d) { rmdir(d.c_str()); }, false, "0",
         "Error in tavi_client_cd_to_config_directory(), target path does not exist.\n"},
        {"replaced by a file",
         [](const std::string &d) {
             rmdir(d.c_str());
             write_file(d, "");
         },
         false, "0", "Error in tavi_client_cd_to_config_directory(), target path is not a directory.\n"},
        {"no access", [](const std::string &d) { chmod(d.c_str(), 0); }, true, "0",
         "Error in tavi_client_cd_to_config_directory(), failed due to access permissions.\n"},
        {"other errors are silent",
         [](const std::string &d) {
             rmdir(d.c_str());
             if (symlink(d.c_str(), d.c_str()) != 0)   // a loop: ELOOP
                 write_file(d + "-symlink-failed", "");
         },
         false, "0", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        test_util::remove_tree(dir);
        auto out = run_forked([&] {
            log_to(log_path, 1);
            if (chdir(home.c_str()) != 0)
                return std::string("chdir failed");
            setenv("HOME", home.c_str(), 1);
            if (tavi_client_cd_to_config_directory() != 0)
                return std::string("changed before set-up");
            if (!tavi_client_set_up_config_directory("Morvelle"))
                return std::string("set-up failed");
            c.spoil(dir);
            // Mode 0 stops anyone but root; root becomes nobody, whom the root-owned 0700
            // tree stops as well.
            if (c.drop_root && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return std::string("cannot drop root");
            int result = tavi_client_cd_to_config_directory();
            char cwd[PATH_MAX];
            std::string where = result && getcwd(cwd, sizeof cwd) ? std::string(" ") + cwd : "";
            return std::to_string(result) + where;
        });
        EXPECT_EQ(out.output, c.expected);
        EXPECT_EQ(log(), c.report);
        unlink(log_path.c_str());
    }
}

// ---- directory creation ------------------------------------------------------------------

struct mkdir_case {
    const char *path;               // "@" for the root, "%" for it without its leading '/';
                                    // relative paths are taken from the root
    std::vector<const char *> dirs; // made before
    int expected;
    std::vector<const char *> made; // directories made by the call, with mode 0750
    std::vector<const char *> absent;
    const char *error_path;         // appended after "prior:", or null when nothing is appended
};

TEST_F(ConfigDirectory, RecursiveMkdir)
{
    const mkdir_case cases[] = {
        {"@/x/y/lock.tmp", {}, 1, {"x", "x/y"}, {"x/y/lock.tmp"}, nullptr},
        {"x//y/", {}, 1, {"x", "x/y"}, {}, nullptr},
        {"bare", {}, 1, {}, {"bare"}, nullptr},
        {"", {}, 1, {}, {}, nullptr},
        {"@\\b1\\b2\\file", {}, 1, {"b1", "b1/b2"}, {"b1/b2/file"}, nullptr},
        {"\\%/lead//", {}, 1, {"lead"}, {}, nullptr},
        {"@/old/new/", {"old"}, 1, {"old/new"}, {}, nullptr},
        {"@/plain/sub/", {}, 0, {}, {"plain/sub"}, "@/plain/sub"},
        {"@/x/plain/sub/deeper/", {"x"}, 0, {}, {"x/plain/sub"}, "@/x/plain/sub"},
        {"@/x/plain", {"x"}, 1, {}, {}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        temp_dir t;
        std::string r = t.path();
        ASSERT_TRUE(write_file(t / "plain", "file\n"));
        std::vector<std::string> expected_top = {"plain"};
        for (const char *d : c.dirs) {
            ASSERT_EQ(mkdir((t / d).c_str(), 0755), 0);
            ASSERT_TRUE(write_file(t / d + "/plain", "file\n"));
            expected_top.push_back(d);
        }
        for (const char *d : c.made)
            if (!strchr(d, '/'))
                expected_top.push_back(d);
        std::string path;
        for (const char *at = c.path; *at; at++)
            path += *at == '@' ? r : *at == '%' ? r.substr(1) : std::string(1, *at);
        auto out = run_forked([&] {
            umask(0);
            if (chdir(r.c_str()) != 0)
                return std::string("chdir failed");
            fixed_string error_path("prior:");
            int result = tavi_recursive_mkdir(path.c_str(), 0750, &error_path);
            return std::to_string(result) + " " + error_path.c_str();
        });
        std::string expected_error = c.error_path ? expand(c.error_path, r) : "";
        EXPECT_EQ(out.output, std::to_string(c.expected) + " prior:" + expected_error);
        for (const char *d : c.made) {
            EXPECT_EQ(file_mode(t / d), 0750) << d;
            EXPECT_TRUE(entries_of(t / d).empty() || strchr(d, '/') == nullptr) << d;
        }
        for (const char *d : c.dirs)
            EXPECT_EQ(file_mode(t / d), 0755) << d;
        for (const char *a : c.absent)
            EXPECT_FALSE(file_exists(t / a)) << a;
        std::vector<std::string> top = entries_of(r);
        std::sort(top.begin(), top.end());
        std::sort(expected_top.begin(), expected_top.end());
        EXPECT_EQ(top, expected_top);
    }
}

TEST_F(ConfigDirectory, NullPathsAreReported)
{
    auto out = run_forked([&] {
        log_to(log_path, 1);
        fixed_string error_path;
        int a = tavi_recursive_mkdir(nullptr, 0700, &error_path);
        int b = tavi_create_and_check_writeable_directory(nullptr, &error_path);
        return std::to_string(a) + std::to_string(b) + "[" + error_path.c_str() + "]";
    });
    EXPECT_EQ(out.output, "00[]");
    EXPECT_EQ(log(), "Error in tavi_recursive_mkdir(), NULL path.\n"
                     "Error in tavi_create_and_check_writeable_directory(), NULL path.\n");
}

struct writeable_case {
    const char *what;
    const char *path;            // "@" for the root; "" is the working directory (the root)
    bool read_only_dir;          // the root's "ro" is made read-only
    int expected;
    std::vector<const char *> made;   // with mode 0700
    const char *error_path;      // or null
};

void check_writeable_cases(const std::vector<writeable_case> &cases)
{
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir t;
        std::string r = t.path();
        ASSERT_TRUE(write_file(t / "plain", "file\n"));
        ASSERT_EQ(mkdir((t / "ro").c_str(), 0755), 0);
        mount_plan plan;
        if (c.read_only_dir)
            plan.read_only = {t / "ro"};
        std::string path = expand(c.path, r);
        auto out = run_forked([&] {
            umask(0);
            if (!enter(plan, r))
                return std::string("mount plan failed");
            fixed_string error_path;
            int result = tavi_create_and_check_writeable_directory(path.c_str(), &error_path);
            return std::to_string(result) + " " + error_path.c_str();
        });
        EXPECT_EQ(out.output,
                  std::to_string(c.expected) + " " + (c.error_path ? expand(c.error_path, r) : ""));
        for (const char *d : c.made)
            EXPECT_EQ(file_mode(t / d), 0700) << d;
        // No probe stays anywhere in the tree.
        auto found = test_util::run({"find", r, "-name", tavi_write_probe_name});
        EXPECT_EQ(found.status, 0);
        EXPECT_EQ(found.out, "");
        EXPECT_EQ(read_file(t / "plain"), "file\n");
    }
}

TEST_F(ConfigDirectory, CreateAndCheckWriteableDirectory)
{
    check_writeable_cases({
        {"new tree", "@/n1/n2", false, 1, {"n1", "n1/n2"}, nullptr},
        {"trailing separator", "@/n1/", false, 1, {"n1"}, nullptr},
        {"existing directory", "@/ro", false, 1, {}, nullptr},
        {"working directory", "", false, 1, {}, nullptr},
        {"a plain file", "@/plain", false, 0, {}, "@/plain/xx-rw-test.qqq"},
        {"below a plain file", "@/plain/below", false, 0, {}, "@/plain/below"},
    });
}

TEST_F(ConfigDirectory, CreateAndCheckReadOnlyDirectory)
{
    REQUIRE_MOUNT_NAMESPACES();
    check_writeable_cases({
        {"read-only directory", "@/ro", true, 0, {}, "@/ro/xx-rw-test.qqq"},
        {"new tree below a read-only directory", "@/ro/n1", true, 0, {}, "@/ro/n1"},
    });
}

} // namespace
