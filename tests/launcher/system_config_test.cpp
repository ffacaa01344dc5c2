// launcher.cfg: loading, rewriting of missing, foreign and damaged files, the beta-test flag,
// and saves that fail without touching the old file. Each case runs in a forked child, since
// the settings and the configuration directory are process-wide.
#include "launcher/system_config.h"

#include "support/config_directory.h"
#include "support/debug_log.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string header = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

// The file the launcher writes, byte for byte.
std::string written_file(int flag)
{
    return header + "<launcher_config>\n"
                    "  <launcher_version>1.096-g64-rc4</launcher_version>\n"
                    "  <beta_test_enable>" +
           std::to_string(flag) +
           "</beta_test_enable>\n"
           "</launcher_config>\n"
           "\n";
}

std::set<std::string> entries(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

std::string xmllint_complaints(const std::string &path)
{
    test_util::run_result r = test_util::run({"xmllint", "--noout", path});
    return r.status == 0 ? "" : "status " + std::to_string(r.status) + ": " + r.err;
}

// A throw-away HOME whose configuration directory exists before the launcher runs.
class launcher_home {
public:
    launcher_home() { mkdir(dir().c_str(), 0700); }
    std::string dir() const { return home_ / ".Morvelle"; }
    std::string config() const { return dir() + "/launcher.cfg"; }
    std::string log_path() const { return home_ / "log.txt"; }
    std::string log() const { return test_util::read_file(log_path()); }
    const std::string &home() const { return home_.path(); }

    // Runs `body` in a child whose HOME is this one, with the configuration directory set up
    // (unless `set_up` is false) and the log going to log_path() at level 3.
    template <class F> test_util::forked_result run(F body, bool set_up = true) const
    {
        return test_util::run_forked([&]() -> std::string {
            setenv("HOME", home().c_str(), 1);
            test_util::log_to(log_path(), 3);
            if (set_up && !tavi_client_set_up_config_directory("Morvelle"))
                return std::string("no configuration directory");
            // Never let a case write anywhere but below the throw-away HOME.
            if (set_up && tavi_client_get_config_directory() != dir())
                return "configuration directory " + std::string(tavi_client_get_config_directory());
            return std::string(body());
        });
    }

private:
    test_util::temp_dir home_;
};

// The settings after a load, as "beta=<flag> loaded=<version or (none)>".
std::string load_and_describe()
{
    load_system_config_file();
    const char *loaded = loaded_launcher_version_text();
    return "beta=" + std::to_string(get_beta_test_enable()) +
           " loaded=" + (loaded ? loaded : "(none)");
}

std::string temporary_name() { return "launcher.cfg." + std::to_string(getpid()) + ".tmp"; }

} // namespace

TEST(SystemConfig, VersionText)
{
    EXPECT_STREQ(launcher_version_text(), "1.096-g64-rc4");
}

TEST(SystemConfig, MissingFileIsWrittenWithTheFlagInMemory)
{
    launcher_home h;
    test_util::forked_result r = h.run(load_and_describe);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "beta=0 loaded=(none)");
    EXPECT_EQ(test_util::read_file(h.config()), written_file(0));
    EXPECT_EQ(xmllint_complaints(h.config()), "");
    EXPECT_EQ(entries(h.dir()), std::set<std::string>{"launcher.cfg"});
    std::string log = h.log();
    for (const char *line : {"load_system_config_file() - using core config file name '%s'.\n",
                             "Unable to load system config - cannot open config file '%s'.\n",
                             "Saving system config to file '%s'.\n"}) {
        std::string expected(line);
        expected.replace(expected.find("%s"), 2, h.config());
        EXPECT_NE(log.find(expected), std::string::npos) << expected << "in:\n" << log;
    }

    // A flag switched on before the load ends up in the new file.
    launcher_home again;
    r = again.run([&] {
        set_beta_test_enable(1);
        unlink(again.config().c_str());
        return load_and_describe();
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "beta=1 loaded=(none)");
    EXPECT_EQ(test_util::read_file(again.config()), written_file(1));
    EXPECT_EQ(xmllint_complaints(again.config()), "");
}

TEST(SystemConfig, StoredFiles)
{
    const std::string current = "1.096-g64-rc4";
    auto file = [&](const std::string &version, const std::string &flag) {
        return header + "<launcher_config>\n  <launcher_version>" + version +
               "</launcher_version>\n  <beta_test_enable>" + flag +
               "</beta_test_enable>\n</launcher_config>\n\n";
    };
    struct {
        const char *what;
        std::string content;
        std::string described;   // load_and_describe() afterwards
        bool rewritten;
        std::string log_line;    // a line the log must hold, or ""
    } cases[] = {
        {"current version", file(current, "5"), "beta=5 loaded=" + current, false, ""},
        {"current version, flag 0", file(current, "0"), "beta=0 loaded=" + current, false, ""},
        {"names in capitals",
         header + "<LAUNCHER_CONFIG>\n<Launcher_Version>" + current +
             "</Launcher_Version>\n<BETA_TEST_ENABLE>1</BETA_TEST_ENABLE>\n</LAUNCHER_CONFIG>\n",
         "beta=1 loaded=" + current, false, ""},
        {"container with an attribute",
         header + "<launcher_config id=\"7\">\n  <beta_test_enable>1</beta_test_enable>\n"
                  "  <launcher_version>" + current + "</launcher_version>\n</launcher_config>\n",
         "beta=1 loaded=" + current, false,
         "Warning in tavi_xml_reader::pop_stack_entry() - popped tag 'launcher_config' did not "
         "match expected tag 'launcher_config id=\"7\"'."},
        {"other elements are skipped",
         header + "<extra><launcher_version>9</launcher_version></extra>\n<launcher_config>\n"
                  "  <notes><beta_test_enable>7</beta_test_enable></notes>\n"
                  "  <beta_test_enable>-2</beta_test_enable>\n"
                  "  <launcher_version>" + current + "</launcher_version>\n</launcher_config>\n",
         "beta=-2 loaded=" + current, false, "load_system_config_file() got unknown tag 'extra'"},
        {"written with CR LF", header.substr(0, header.size() - 1) + "\r\n<launcher_config>\r\n"
                  "  <launcher_version>" + current + "</launcher_version>\r\n"
                  "  <beta_test_enable>1</beta_test_enable>\r\n</launcher_config>\r\n",
         "beta=1 loaded=" + current, false, ""},
        {"flag that is not a number", file(current, "on"), "beta=0 loaded=" + current, false,
         "Warning in tavi_xml_reader::read_data(int) - got non-number'on'."},
        {"another version", file("1.095-g64-rc2", "1"), "beta=1 loaded=1.095-g64-rc2", true, ""},
        {"version with a suffix", file(current + "x", "3"), "beta=3 loaded=" + current + "x", true,
         ""},
        {"version holding a tab", file(current + "\t", "1"), "beta=1 loaded=" + current + "\t",
         true, ""},
        {"no version element",
         header + "<launcher_config>\n  <beta_test_enable>1</beta_test_enable>\n</launcher_config>\n",
         "beta=1 loaded=(none)", true, ""},
        {"declaration without encoding",
         "<?xml version=\"1.0\"?>\n" + file(current, "1").substr(header.size()),
         "beta=0 loaded=(none)", true,
         "Warning in load_system_config_file() - bad XML header, bailing."},
        {"no declaration", file(current, "1").substr(header.size()), "beta=0 loaded=(none)", true,
         "Warning in load_system_config_file() - bad XML header, bailing."},
        {"empty file", "", "beta=0 loaded=(none)", true,
         "Warning in load_system_config_file() - bad XML header, bailing."},
        // What was read of the version is kept; it does not match, so the file is rewritten.
        {"cut inside the version", file(current, "1").substr(0, header.size() + 40),
         "beta=0 loaded=1.", true,
         "Warning in tavi_xml_reader::read_block(), file corruption - got EOF before trailing "
         "bracket."},
        {"cut after the version element",
         file(current, "1").substr(0, file(current, "1").find("</launcher_version>") + 19),
         "beta=0 loaded=" + current, false, ""},
        {"binary garbage", header + std::string("\x01\xff<\x02>\x00<<>>", 11),
         "beta=0 loaded=(none)", true, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        launcher_home h;
        ASSERT_TRUE(test_util::write_file(h.config(), c.content, 0600));
        test_util::forked_result r = h.run(load_and_describe);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.output, c.described);
        std::string after = test_util::read_file(h.config());
        if (c.rewritten) {
            int flag = std::atoi(c.described.c_str() + 5);
            EXPECT_EQ(after, written_file(flag));
            EXPECT_EQ(xmllint_complaints(h.config()), "");
        } else {
            EXPECT_EQ(after, c.content);
        }
        EXPECT_EQ(h.log().find("Saving system config") != std::string::npos, c.rewritten);
        if (!c.log_line.empty()) {
            EXPECT_NE(h.log().find(c.log_line + "\n"), std::string::npos) << h.log();
        }
        EXPECT_EQ(entries(h.dir()), std::set<std::string>{"launcher.cfg"});
    }
}

TEST(SystemConfig, SetterSavesOnlyWhenTheValueChanges)
{
    launcher_home h;
    test_util::forked_result r = h.run([&] {
        std::string trace;
        auto step = [&](int value) {
            unlink(h.config().c_str());
            set_beta_test_enable(value);
            std::string now = test_util::read_file(h.config());
            trace += std::to_string(value) + ":" +
                     (test_util::file_exists(h.config()) ? std::to_string(now == written_file(value))
                                                          : "none") +
                     " ";
        };
        step(0);
        step(1);
        step(1);
        step(5);
        step(0);
        return trace + "get=" + std::to_string(get_beta_test_enable());
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "0:none 1:1 1:none 5:1 0:1 get=0");
}

TEST(SystemConfig, AStoredFiveCountsAsOnAndSwitchingStoresZero)
{
    launcher_home h;
    std::string stored = written_file(5);
    ASSERT_TRUE(test_util::write_file(h.config(), stored, 0600));
    test_util::forked_result r = h.run([] {
        load_system_config_file();
        int before = get_beta_test_enable();
        set_beta_test_enable(!before);
        return std::to_string(before) + " " + std::to_string(get_beta_test_enable());
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "5 0");
    EXPECT_EQ(test_util::read_file(h.config()), written_file(0));
    EXPECT_EQ(xmllint_complaints(h.config()), "");
}

TEST(SystemConfig, NoConfigurationDirectory)
{
    launcher_home h;
    test_util::forked_result r = h.run(
        [] {
            std::string described = load_and_describe();
            int saved = save_system_config_file();
            set_beta_test_enable(1);
            return described + " saved=" + std::to_string(saved) +
                   " beta=" + std::to_string(get_beta_test_enable());
        },
        false);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "beta=0 loaded=(none) saved=0 beta=1");
    EXPECT_EQ(h.log(), "Unable to load system config - no config file directory.\n"
                       "Unable to save system config - no config file directory.\n"
                       "Unable to save system config - no config file directory.\n");
    EXPECT_TRUE(entries(h.dir()).empty());
}

TEST(SystemConfig, SaveReplacesTheFileInsteadOfRewritingIt)
{
    // A reader holding the old file keeps seeing it whole: the new one is a different file.
    launcher_home h;
    ASSERT_TRUE(test_util::write_file(h.config(), written_file(0), 0600));
    test_util::forked_result r = h.run([&] {
        load_system_config_file();
        int old_file = open(h.config().c_str(), O_RDONLY);
        set_beta_test_enable(1);
        char buffer[4096];
        ssize_t n = read(old_file, buffer, sizeof buffer);
        close(old_file);
        return std::string(buffer, size_t(n > 0 ? n : 0));
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, written_file(0));
    EXPECT_EQ(test_util::read_file(h.config()), written_file(1));
    EXPECT_EQ(entries(h.dir()), std::set<std::string>{"launcher.cfg"});
}

TEST(SystemConfig, FailedSavesKeepTheOldFile)
{
    const std::string cannot_open = "Unable to save system config - cannot open config file '%s'.\n";
    const std::string cannot_write =
        "Error in save_system_config_file(), unable to write to system config file '%s'.\n";
    struct {
        const char *what;
        // Runs in the child after the load; makes the next save fail.
        void (*obstruct)(const launcher_home &);
        const std::string &message;
        std::set<std::string> left;   // directory entries afterwards
    } cases[] = {
        {"the temporary file cannot be created",
         [](const launcher_home &h) { mkdir((h.dir() + "/" + temporary_name()).c_str(), 0700); },
         cannot_open, {"launcher.cfg", "@tmp"}},
        {"the disk is full",
         [](const launcher_home &h) {
             (void)symlink("/dev/full", (h.dir() + "/" + temporary_name()).c_str());
         },
         cannot_write, {"launcher.cfg"}},
        {"the file cannot be replaced",
         [](const launcher_home &h) {
             // A directory standing where the file was; rename() cannot put a file over it.
             std::string kept = h.dir() + "/kept.cfg";
             (void)rename(h.config().c_str(), kept.c_str());
             mkdir(h.config().c_str(), 0700);
             test_util::write_file(h.config() + "/inside", "x");
         },
         cannot_write, {"launcher.cfg", "kept.cfg"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        launcher_home h;
        ASSERT_TRUE(test_util::write_file(h.config(), written_file(0), 0600));
        test_util::forked_result r = h.run([&] {
            load_system_config_file();
            c.obstruct(h);
            set_beta_test_enable(1);
            // A failed save removes what it created, so the obstacle is put back.
            c.obstruct(h);
            int failed = save_system_config_file();
            std::set<std::string> left;
            for (const auto &n : entries(h.dir()))
                left.insert(n == temporary_name() ? "@tmp" : n);
            std::string names;
            for (const auto &n : left)
                names += n + " ";
            return "saved=" + std::to_string(failed) + " beta=" +
                   std::to_string(get_beta_test_enable()) + " left=" + names;
        });
        ASSERT_EQ(r.status, 0);
        std::string names;
        for (const auto &n : c.left)
            names += n + " ";
        EXPECT_EQ(r.output, "saved=0 beta=1 left=" + names);
        std::string kept = test_util::file_exists(h.dir() + "/kept.cfg") ? h.dir() + "/kept.cfg"
                                                                        : h.config();
        EXPECT_EQ(test_util::read_file(kept), written_file(0));
        std::string expected = c.message;
        expected.replace(expected.find("%s"), 2, h.config());
        // Both failing saves (the setter's and the direct call) report.
        size_t first = h.log().find(expected);
        ASSERT_NE(first, std::string::npos) << h.log();
        EXPECT_NE(h.log().find(expected, first + 1), std::string::npos) << h.log();
    }
}

TEST(SystemConfig, SaveBelowARegularFileFails)
{
    // The configuration directory turned into a regular file after start-up: nothing can be
    // created below it, even by root.
    launcher_home h;
    test_util::forked_result r = h.run([&] {
        test_util::remove_tree(h.dir());
        test_util::write_file(h.dir(), "not a directory");
        return std::to_string(save_system_config_file());
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "0");
    EXPECT_EQ(test_util::read_file(h.dir()), "not a directory");
    std::string expected = "Unable to save system config - cannot open config file '" +
                           h.config() + "'.\n";
    EXPECT_NE(h.log().find(expected), std::string::npos) << h.log();
}

TEST(SystemConfig, SaveWorksAgainOnceTheObstacleIsGone)
{
    launcher_home h;
    test_util::forked_result r = h.run([&] {
        std::string blocker = h.dir() + "/" + temporary_name();
        symlink("/dev/full", blocker.c_str());
        int first = save_system_config_file();
        struct stat st;
        bool blocker_gone = lstat(blocker.c_str(), &st) != 0;
        set_beta_test_enable(1);
        return std::to_string(first) + " " + std::to_string(blocker_gone) + " " +
               std::to_string(get_beta_test_enable());
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "0 1 1");
    EXPECT_EQ(test_util::read_file(h.config()), written_file(1));
    EXPECT_EQ(entries(h.dir()), std::set<std::string>{"launcher.cfg"});
    EXPECT_EQ(xmllint_complaints(h.config()), "");
}

TEST(SystemConfig, SaveKeepsALinkedFileAndItsPermissions)
{
    launcher_home h;
    test_util::temp_dir elsewhere;
    std::string real = elsewhere / "kept-settings.cfg";
    ASSERT_TRUE(test_util::write_file(real, written_file(0), 0640));
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink(real.c_str(), h.config().c_str()), 0);
    test_util::forked_result r = h.run([] {
        std::string described = load_and_describe();
        set_beta_test_enable(1);
        return described;
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "beta=0 loaded=1.096-g64-rc4");
    struct stat link;
    ASSERT_EQ(lstat(h.config().c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(test_util::read_file(real), written_file(1));
    EXPECT_EQ(test_util::file_mode(real), 0640);
    EXPECT_EQ(entries(elsewhere.path()), std::set<std::string>{"kept-settings.cfg"});
    EXPECT_EQ(xmllint_complaints(real), "");
}
