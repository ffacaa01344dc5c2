// Start-up and the command line, as a player meets them: the real binary on a private X server.
#include "tests/e2e/launcher_home.h"

#include <gtest/gtest.h>

using e2e::count_lines;
using e2e::has_lines_in_order;
using e2e::launcher_home;

namespace {

const std::string binary = MORVELLE_LAUNCHER_BINARY;
const std::string start_banner = "--------------------------- LAUNCHER START --------------------------";

class Startup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(test_util::private_display().empty()) << "no Xvfb"; }
    launcher_home home;
};

} // namespace

TEST_F(Startup, HelpGoesToTheLogAndExitsZero)
{
    // Options after -h are not looked at: the unknown one must not turn the status into 1.
    test_util::run_result r = home.run({"-h", "--no-such-option"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    std::string log = home.log();
    EXPECT_TRUE(has_lines_in_order(log, {
        "tavi_client_try_open_debug_logfile() opened logfile '" + home.log_path() + "'",
        start_banner,
        "Executable name '" + binary + "'.",
        "Syntax:",
        binary + " [-h] [-b] [-u] [-v]",
        "",
        "Options are:",
        "  -h   - this help screen",
        "  -b   - switch to beta test mode",
        "  -u   - switch out of beta test mode",
        "  -v   - more verbose debug printing",
        "",
    }));
    EXPECT_EQ(count_lines(log, "Syntax:"), 1);
    EXPECT_EQ(log.find("unknown command line option"), std::string::npos);
    EXPECT_EQ(test_util::file_mode(home.config_dir()), 0700);
    EXPECT_EQ(test_util::file_mode(home.log_path()), 0644);
    EXPECT_FALSE(test_util::file_exists(home.config("xx-rw-test.qqq")));
}

TEST_F(Startup, LogIsAppendedAcrossRuns)
{
    ASSERT_EQ(home.run({"-h"}).status, 0);
    ASSERT_EQ(home.run({"--HELP"}).status, 0);
    EXPECT_EQ(count_lines(home.log(), start_banner), 2);
    EXPECT_EQ(count_lines(home.log(), "Syntax:"), 2);
}

TEST_F(Startup, WithoutHomeItRefusesToBoot)
{
    test_util::run_options o = home.options();
    o.set.erase(o.set.begin());   // HOME=...
    o.unset = {"HOME"};
    test_util::run_result r = home.run({}, o);
    EXPECT_EQ(r.status, 1);
    // The library's own report opens the log on standard output, since no log is named yet.
    EXPECT_EQ(r.out,
              "Error in tavi_client_set_up_config_directory(), unable to fetch home directory - "
              "please set HOME environment variable and restart.\n"
              "Boot failed, unable to get at system config directory.\n");
    EXPECT_FALSE(test_util::file_exists(home.config_dir()));
}

TEST_F(Startup, OptionsActInOrder)
{
    struct {
        std::vector<std::string> arguments;
        int status;
        std::vector<std::string> lines;
    } cases[] = {
        {{"-bx"}, 1, {"Sorry, unknown command line option '-bx'.  Use '-h' for a list."}},
        {{"-B", "--BETA", "-h"}, 0,
         {"Forcing beta test mode.", "Forcing beta test mode.", "Syntax:"}},
        {{"-b more words", "-h"}, 0, {"Forcing beta test mode.", "Syntax:"}},
        {{"-v", "--Verbose", "later"}, 1,
         {"Setting verbose printing mode.", "Setting verbose printing mode.",
          "Sorry, unknown command line option 'later'.  Use '-h' for a list."}},
        {{"--unbeta", "-U", "-h"}, 0,
         {"Forcing non-beta test mode.", "Forcing non-beta test mode.", "Syntax:"}},
        {{""}, 1, {"Sorry, unknown command line option ''.  Use '-h' for a list."}},
    };
    for (const auto &c : cases) {
        launcher_home fresh;
        test_util::run_result r = fresh.run(c.arguments);
        std::string shown;
        for (const auto &a : c.arguments)
            shown += "[" + a + "]";
        EXPECT_EQ(r.status, c.status) << shown << "\n" << fresh.log();
        std::vector<std::string> wanted = {"Executable name '" + binary + "'."};
        wanted.insert(wanted.end(), c.lines.begin(), c.lines.end());
        EXPECT_TRUE(has_lines_in_order(fresh.log(), wanted)) << shown;
    }
}

TEST_F(Startup, ArgumentsAreLoggedAsAscii)
{
    // Bytes that are not ASCII never reach the log as they are.
    test_util::run_result r = home.run({"caf\xc3\xa9\xff"});
    EXPECT_EQ(r.status, 1);
    std::string log = home.log();
    size_t at = log.find("Sorry, unknown command line option '");
    ASSERT_NE(at, std::string::npos) << log;
    std::string line = log.substr(at, log.find('\n', at) - at);
    for (unsigned char c : line)
        EXPECT_TRUE(c >= 32 && c < 127) << line;
    EXPECT_NE(line.find("'caf"), std::string::npos) << line;
}

TEST_F(Startup, LogsWithStandardInputClosed)
{
    // The log then gets descriptor 0, which is as good as any other.
    test_util::run_options o = home.options();
    o.close_stdin = true;
    test_util::run_result r = home.run({"-h"}, o);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has_lines_in_order(home.log(), {start_banner, "Syntax:"}));
}
