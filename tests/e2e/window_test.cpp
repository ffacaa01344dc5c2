// The launcher window as a player meets it: picture, bar, status lines, keys, the updater lock
// held by someone else, and the boot of the client. Real binary, private Xvfb, throw-away HOME.
#include "tests/e2e/launcher_home.h"
#include "tests/e2e/x_window.h"

#include <gtest/gtest.h>
#include <chrono>
#include <sys/stat.h>
#include <thread>

using e2e::count_lines;
using e2e::has_lines_in_order;
using e2e::launcher_home;

namespace {

const std::string title = "Morvelle Launcher";
const std::vector<std::string> give_up_lines = {
    "",
    "Sorry, it looks like there's another version of the launcher downloading",
    "updates right now.  Please try again when it's finished.",
    "",
};
const std::string late_start = "OnTimer(), late start of updater thread.";

const std::string manifest_header =
    "# This is an automatically generated file - do not modify\n"
    "# It contains a list of the files currently managed by the\n"
    "# updater.  Changing or deleting it may cause your next\n"
    "# update to download far more things than it needs.\n"
    "\n";

// Another launcher holding the updater lock: a process with a POSIX record lock on lock.tmp.
class lock_holder {
public:
    explicit lock_holder(const launcher_home &home)
        : held_(home.config("lock-held")),
          process_({"python3", "-c",
                    "import fcntl, os, sys, time\n"
                    "fd = os.open(sys.argv[1], os.O_RDWR | os.O_CREAT, 0o600)\n"
                    "fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
                    "open(sys.argv[2], 'w').close()\n"
                    "time.sleep(120)\n",
                    home.config("executables/lock.tmp"), held_})
    {
    }
    bool wait_held() { return test_util::wait_until([&] { return test_util::file_exists(held_); }, 20); }
    void release() { process_.stop(); }

private:
    std::string held_;
    test_util::child_process process_;
};

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = test_util::private_display();
        ASSERT_FALSE(display.empty()) << "no Xvfb";
        ASSERT_EQ(mkdir(home.config_dir().c_str(), 0700), 0);
        ASSERT_EQ(mkdir(home.config("executables").c_str(), 0700), 0);
    }

    // A client that records how it was started, listed in the local manifest.
    void add_client(const std::string &name)
    {
        std::string script = "#!/bin/sh\n"
                             "# test client: records its arguments and the marker\n"
                             "echo \"$0 $*\" >> \"$HOME/started.txt\"\n"
                             "cat \"$HOME/.Morvelle/bootname.txt\" >> \"$HOME/started.txt\"\n";
        script += std::string(100, '#') + "\n";
        ASSERT_TRUE(test_util::write_file(home.config("executables/" + name), script, 0700));
        manifest_lines += "0123456789abcdef0123456789abcdef01234567 " +
                          std::string(10 - std::to_string(script.size()).size(), ' ') +
                          std::to_string(script.size()) + " " + name + "\n";
        ASSERT_TRUE(test_util::write_file(home.config("executables/update_manifest.lst"),
                                          manifest_header + manifest_lines));
    }
    std::string started() const { return test_util::read_file(home.home() + "/started.txt"); }
    bool wait_log(const std::string &line, double seconds = 20)
    {
        return test_util::wait_until([&] { return count_lines(home.log(), line) > 0; }, seconds);
    }

    launcher_home home;
    std::string display;
    std::string manifest_lines;
};

bool is_white(e2e::rgb c) { return c.r > 200 && c.g > 200 && c.b > 200; }
bool is_red(e2e::rgb c) { return c.r > 150 && c.g < 80 && c.b < 80; }

} // namespace

TEST_F(Window, ShowsPictureBarAndStatusCentred)
{
    lock_holder other(home);
    ASSERT_TRUE(other.wait_held());
    test_util::child_process launcher({MORVELLE_LAUNCHER_BINARY}, home.options());
    std::string id = e2e::find_window(display, title);
    ASSERT_FALSE(id.empty()) << home.log();
    EXPECT_EQ(e2e::window_geometry(display, id), (std::vector<int>{272, 234, 480, 300}));
    ASSERT_TRUE(e2e::press_keys(display, id, "Escape"));   // white status text, shown at once

    e2e::screenshot shot;
    ASSERT_TRUE(test_util::wait_until([&] {
        shot = e2e::take_screenshot(display);
        if (!shot.ok())
            return false;
        for (int x = 282; x < 272 + 470; x++)
            for (int y = 234 + 245; y < 234 + 260; y++)
                if (is_white(shot.at(x, y)))
                    return true;
        return false;
    }, 10)) << "no white text on the version line";

    const int x0 = 272, y0 = 234;
    // Where the picture is transparent it comes out black.
    for (auto p : {std::pair{2, 2}, {477, 2}, {2, 200}, {470, 220}})
        EXPECT_EQ(shot.at(x0 + p.first, y0 + p.second).r + shot.at(x0 + p.first, y0 + p.second).g, 0);
    int white = 0, red = 0;
    for (int y = 0; y < 220; y++)
        for (int x = 0; x < 480; x++) {
            white += is_white(shot.at(x0 + x, y0 + y));
            red += is_red(shot.at(x0 + x, y0 + y));
        }
    EXPECT_GT(white, 500) << "title and emblem";
    EXPECT_GT(red, 20) << "the emblem's eyes";
    // Nothing downloaded yet: the whole bar has the remaining colour.
    for (int y = 280; y <= 289; y++)
        for (int x = 10; x <= 469; x++) {
            e2e::rgb c = shot.at(x0 + x, y0 + y);
            ASSERT_TRUE(c.r == 32 && c.g == 32 && c.b == 32) << x << "," << y << " " << c.r;
        }
    // Just outside the bar the picture's black shows.
    EXPECT_EQ(shot.at(x0 + 9, y0 + 285).r, 0);
    EXPECT_EQ(shot.at(x0 + 470, y0 + 285).r, 0);
    EXPECT_EQ(shot.at(x0 + 20, y0 + 291).r, 0);
    launcher.stop();
}

TEST_F(Window, GivesUpWhenAnotherLauncherHoldsTheLock)
{
    lock_holder other(home);
    ASSERT_TRUE(other.wait_held());
    test_util::run_result r = home.run({});
    EXPECT_EQ(r.status, 0);
    std::string log = home.log();
    EXPECT_TRUE(has_lines_in_order(log, {"OnInit(), unable to get updater file lock."}));
    EXPECT_TRUE(has_lines_in_order(log, give_up_lines));
    EXPECT_EQ(count_lines(log, give_up_lines[1]), 1);
    EXPECT_EQ(count_lines(log, late_start), 0);
    EXPECT_EQ(log.find("no executables found"), std::string::npos) << "no boot without the lock";
}

TEST_F(Window, LateLockStartsTheUpdater)
{
    add_client("client");
    lock_holder other(home);
    ASSERT_TRUE(other.wait_held());
    test_util::child_process launcher({MORVELLE_LAUNCHER_BINARY}, home.options());
    ASSERT_FALSE(e2e::find_window(display, title).empty());
    ASSERT_TRUE(wait_log("OnInit(), unable to get updater file lock."));
    other.release();
    EXPECT_TRUE(wait_log(late_start));
    EXPECT_EQ(launcher.wait(30), 0) << home.log();   // the client script ends with status 0
    EXPECT_EQ(started(), home.config("executables/client") + " -l 1.096-g64-rc4\nclient\n");
    EXPECT_EQ(count_lines(home.log(), give_up_lines[1]), 0);
}

TEST_F(Window, EscapeHoldsTheBootBack)
{
    add_client("img_a");
    add_client("img_c");
    add_client("img_b");
    lock_holder other(home);
    ASSERT_TRUE(other.wait_held());
    test_util::child_process launcher({MORVELLE_LAUNCHER_BINARY}, home.options());
    std::string id = e2e::find_window(display, title);
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(e2e::press_keys(display, id, "Escape"));
    other.release();
    ASSERT_TRUE(wait_log(late_start));
    // The updater has nothing to do and finishes at once; with the options shown there is no boot.
    // An absence has no event to wait for: give the timer well over its 1000 ms.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(started(), "");
    EXPECT_TRUE(launcher.running());
    ASSERT_TRUE(e2e::press_keys(display, id, "Escape"));
    EXPECT_EQ(launcher.wait(30), 0);
    EXPECT_EQ(started(), home.config("executables/img_c") + " -l 1.096-g64-rc4\nimg_c\n");
}

TEST_F(Window, QuitsAtOnceWithQ)
{
    lock_holder other(home);
    ASSERT_TRUE(other.wait_held());
    test_util::child_process launcher({MORVELLE_LAUNCHER_BINARY}, home.options());
    std::string id = e2e::find_window(display, title);
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(e2e::press_keys(display, id, "q"));
    EXPECT_EQ(launcher.wait(20), 0);
    EXPECT_EQ(count_lines(home.log(), give_up_lines[1]), 0) << "quit before the give-up";
}

TEST_F(Window, BetaKeySavesAndRunsTheUpdaterAgain)
{
    // A listed image that cannot be exec'd: the boot fails and the window stays.
    std::string junk(200, 'x');
    ASSERT_TRUE(test_util::write_file(home.config("executables/broken"), junk, 0700));
    ASSERT_TRUE(test_util::write_file(home.config("executables/update_manifest.lst"),
                                      manifest_header +
                                          "0123456789abcdef0123456789abcdef01234567        200 broken\n"));
    test_util::child_process launcher({MORVELLE_LAUNCHER_BINARY}, home.options());
    std::string id = e2e::find_window(display, title);
    ASSERT_FALSE(id.empty());
    const std::string no_valid = "Sorry, no valid executables found - cannot start game.";
    ASSERT_TRUE(wait_log(no_valid));
    EXPECT_TRUE(launcher.running());
    ASSERT_TRUE(e2e::press_keys(display, id, "b"));
    ASSERT_TRUE(wait_log(late_start));
    EXPECT_TRUE(test_util::wait_until([&] { return count_lines(home.log(), no_valid) == 2; }, 20))
        << home.log();
    EXPECT_NE(test_util::read_file(home.config("launcher.cfg")).find("<beta_test_enable>1</beta_test_enable>"),
              std::string::npos);
    ASSERT_TRUE(e2e::press_keys(display, id, "q"));
    EXPECT_EQ(launcher.wait(20), 0);
}
