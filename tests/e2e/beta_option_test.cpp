// Beta-test mode from the command line persists in "launcher.cfg" across runs of the real binary.
#include "tests/e2e/launcher_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using e2e::has_lines_in_order;
using e2e::launcher_home;

namespace {

std::string config_file(int beta)
{
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
           "<launcher_config>\n"
           "  <launcher_version>1.096-g64-rc4</launcher_version>\n"
           "  <beta_test_enable>" + std::to_string(beta) + "</beta_test_enable>\n"
           "</launcher_config>\n"
           "\n";
}

class BetaOption : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(test_util::private_display().empty()) << "no Xvfb"; }
    std::string cfg() const { return test_util::read_file(home.config("launcher.cfg")); }
    // -h ends start-up right after the options, before any window opens.
    int run(std::vector<std::string> arguments)
    {
        arguments.push_back("-h");
        return home.run(arguments).status;
    }
    launcher_home home;
};

} // namespace

TEST_F(BetaOption, PersistsAcrossRunsInTheOrderGiven)
{
    ASSERT_EQ(run({}), 0);
    EXPECT_EQ(cfg(), config_file(0)) << "a missing file is written with the defaults";
    ASSERT_EQ(run({"-b"}), 0);
    EXPECT_EQ(cfg(), config_file(1));
    ASSERT_EQ(run({}), 0);
    EXPECT_EQ(cfg(), config_file(1)) << "the flag survives a run without options";
    ASSERT_EQ(run({"-u", "-b", "-u"}), 0);
    EXPECT_EQ(cfg(), config_file(0)) << "options act in order: the last one wins";
    // An unknown option ends start-up with status 1, after the earlier options have acted.
    EXPECT_EQ(home.run({"--beta", "nonsense"}).status, 1);
    EXPECT_EQ(cfg(), config_file(1));
    EXPECT_EQ(test_util::run({"xmllint", "--noout", home.config("launcher.cfg")}).status, 0);
}

TEST_F(BetaOption, DamagedFileIsReplacedKeepingTheOption)
{
    ASSERT_EQ(mkdir(home.config_dir().c_str(), 0700), 0);
    ASSERT_TRUE(test_util::write_file(home.config("launcher.cfg"), "<?xml garbage\n\x01\x02"));
    ASSERT_EQ(run({"-b"}), 0);
    EXPECT_EQ(cfg(), config_file(1));
    EXPECT_TRUE(has_lines_in_order(home.log(), {
        "Warning in load_system_config_file() - bad XML header, bailing.",
        "Forcing beta test mode.",
    }));
}

TEST_F(BetaOption, AnotherVersionsFileKeepsItsFlag)
{
    ASSERT_EQ(mkdir(home.config_dir().c_str(), 0700), 0);
    std::string old = config_file(1);
    old.replace(old.find("1.096-g64-rc4"), 13, "1.095-g64-rc1");
    ASSERT_TRUE(test_util::write_file(home.config("launcher.cfg"), old));
    ASSERT_EQ(run({}), 0);
    EXPECT_EQ(cfg(), config_file(1));
}

TEST_F(BetaOption, UnwritableFileLeavesTheOldOneAndStartsAnyway)
{
    // A directory in the file's place cannot be replaced by a rename, not even by root.
    ASSERT_EQ(mkdir(home.config_dir().c_str(), 0700), 0);
    ASSERT_EQ(mkdir(home.config("launcher.cfg").c_str(), 0700), 0);
    ASSERT_TRUE(test_util::write_file(home.config("launcher.cfg/keep"), "x"));
    test_util::run_result r = home.run({"-b", "-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(test_util::read_file(home.config("launcher.cfg/keep")), "x");
    std::string log = home.log();
    EXPECT_TRUE(has_lines_in_order(log, {"Forcing beta test mode.", "Syntax:"})) << log;
    EXPECT_NE(log.find("Error in save_system_config_file(), unable to write to system config file '" +
                       home.config("launcher.cfg") + "'."),
              std::string::npos)
        << log;
}
