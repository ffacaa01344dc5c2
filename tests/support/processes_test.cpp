// Starting programs: boot exec, fork exec and the browser, with shell scripts written at run
// time standing in for the programs. Every case that may replace or start processes runs in a
// forked child, which reaps what it starts.
#include "support/processes.h"

#include "support/debug_log.h"
#include "support/files.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using test_util::file_exists;
using test_util::file_mode;
using test_util::log_to;
using test_util::read_file;
using test_util::run_forked;
using test_util::temp_dir;
using test_util::wait_until;
using test_util::write_file;

namespace {

// Bytes that no binary format of this system accepts: an ELF header for a machine that
// does not exist, and plain noise.
std::string foreign_elf()
{
    std::string header(64, '\0');
    header.replace(0, 4, "\x7f" "ELF");
    header[4] = 2;                  // 64-bit
    header[5] = 1;                  // little endian
    header[6] = 1;                  // version
    header[16] = 2;                 // executable
    header[18] = char(0xef);        // machine 0xbeef
    header[19] = char(0xbe);
    header[20] = 1;
    return header + std::string(200, 'x');
}

// Waits (bounded) for `pid`, a child of this process, killing it by PID if it overstays.
// Returns its exit status, 128 + signal, or -1.
int reap(pid_t pid, double seconds)
{
    int status = 0;
    pid_t done = -1;
    if (!wait_until([&] { return (done = waitpid(pid, &status, WNOHANG)) != 0; }, seconds)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    if (done != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<char *> argv_of(std::vector<std::string> &words)
{
    std::vector<char *> argv;
    for (auto &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    return argv;
}

// ---- boot exec -----------------------------------------------------------------------------

TEST(BootExec, FailureReturnsAndReports)
{
    struct {
        const char *what;
        const char *content;   // null: no file; "dir": a directory
        bool use_null_path;
        std::string log;       // "@" stands for the path
        int mode_after;        // -1: not checked
    } cases[] = {
        {"foreign executable", "elf", false,
         "tavi_boot_exec() - trying to boot image '@'\n"
         "Error in tavi_boot_exec(), exec failed.  Return code -1, error code 8. Filename: @\n",
         0700},
        {"noise", "noise", false,
         "tavi_boot_exec() - trying to boot image '@'\n"
         "Error in tavi_boot_exec(), exec failed.  Return code -1, error code 8. Filename: @\n",
         0700},
        {"a directory", "dir", false,
         "tavi_boot_exec() - trying to boot image '@'\n"
         "Error in tavi_boot_exec(), exec failed.  Return code -1, error code 13. Filename: @\n",
         0700},
        {"missing file", nullptr, false,
         "Error in tavi_boot_exec(), chmod failed.  Return code -1, error code 2. Filename: @\n", -1},
        {"null path", nullptr, true,
         "Error in tavi_boot_exec(), chmod failed.  Return code -1, error code 14. Filename: (null)\n",
         -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        std::string path = dir / "client";
        std::string log = dir / "log.txt";
        if (c.content && std::string(c.content) == "dir") {
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        } else if (c.content) {
            std::string bytes =
                std::string(c.content) == "elf" ? foreign_elf() : std::string(300, '\x9c');
            ASSERT_TRUE(write_file(path, bytes, 0644));
        }
        auto out = run_forked([&] {
            log_to(log, 3);
            std::vector<std::string> words = {"client", "-l", "1.096-g64-rc4"};
            auto argv = argv_of(words);
            tavi_boot_exec(c.use_null_path ? nullptr : path.c_str(), argv.data());
            return std::string("returned");
        });
        EXPECT_EQ(out.status, 0);
        EXPECT_EQ(out.output, "returned");
        std::string expected = c.log;
        for (size_t at; (at = expected.find('@')) != std::string::npos;)
            expected.replace(at, 1, path);
        EXPECT_EQ(read_file(log), expected);
        if (c.mode_after >= 0) {
            EXPECT_EQ(file_mode(path), c.mode_after);
        }
    }
}

TEST(BootExec, ReplacesTheProcessAfterFlushing)
{
    temp_dir dir;
    std::string script = dir / "client";
    ASSERT_TRUE(write_file(script,
                           "#!/bin/sh\n"
                           "printf '%s\\n' \"$$\" \"$@\" > '" + dir / "seen" + "'\n"
                           "exit 7\n",
                           0600));
    std::string stdout_path = dir / "stdout";
    auto out = run_forked([&] {
        log_to(dir / "log.txt", 1);
        FILE *sink = freopen(stdout_path.c_str(), "w", stdout);
        if (!sink)
            return std::string("no stdout");
        setvbuf(stdout, nullptr, _IOFBF, 4096);
        printf("pid %d, buffered before the exec\n", int(getpid()));
        std::vector<std::string> words = {"client", "-l", "1.096-g64-rc4"};
        auto argv = argv_of(words);
        tavi_boot_exec(script.c_str(), argv.data());
        return std::string("returned");
    });
    EXPECT_EQ(out.status, 7);
    EXPECT_EQ(out.output, "");
    std::string seen = read_file(dir / "seen");
    std::string pid = seen.substr(0, seen.find('\n'));
    EXPECT_EQ(seen, pid + "\n-l\n1.096-g64-rc4\n");
    // Same process: the stdio buffer was flushed before it was replaced.
    EXPECT_EQ(read_file(stdout_path), "pid " + pid + ", buffered before the exec\n");
    EXPECT_EQ(file_mode(script), 0700);
    EXPECT_EQ(read_file(dir / "log.txt"), "");
}

// The updater lock must not outlive the launcher's exec into the client.
TEST(BootExec, TheClientDoesNotKeepTheLock)
{
    temp_dir dir;
    std::string lock = dir / "lock.tmp";
    std::string script = dir / "client";
    ASSERT_TRUE(write_file(script,
                           "#!/bin/sh\n"
                           "ls -l /proc/$$/fd | grep -c lock.tmp > '" + dir / "open" + "'\n"
                           "touch '" + dir / "started" + "'\n"
                           "i=0\n"
                           "while [ ! -e '" + dir / "go" + "' ] && [ $i -lt 3000 ]; do\n"
                           "  sleep 0.01; i=$((i+1))\n"
                           "done\n",
                           0700));
    pid_t pid = fork();
    if (pid == 0) {
        int descriptor = tavi_try_lock_file(lock.c_str());
        if (descriptor < 0)
            _exit(3);
        char word[] = "client";
        char *argv[] = {word, nullptr};
        tavi_boot_exec(script.c_str(), argv);
        _exit(4);
    }
    ASSERT_GT(pid, 0);
    bool started = wait_until([&] { return file_exists(dir / "started") || waitpid(pid, nullptr, WNOHANG) != 0; }, 30);
    EXPECT_TRUE(started && file_exists(dir / "started"));
    int descriptor = tavi_try_lock_file(lock.c_str());
    EXPECT_GE(descriptor, 0);
    tavi_unlock_file(descriptor);
    EXPECT_EQ(read_file(dir / "open"), "0\n");
    write_file(dir / "go", "");
    EXPECT_EQ(reap(pid, 30), 0);
}

// ---- fork exec -----------------------------------------------------------------------------

TEST(ForkExec, StartsADetachedProgramWithoutWaiting)
{
    temp_dir dir;
    std::string script = dir / "tool";
    // Reports its pid, its session and its arguments, then waits to be told to end.
    ASSERT_TRUE(write_file(script,
                           "#!/bin/sh\n"
                           "read -r a b c d e session rest < /proc/$$/stat\n"
                           "printf '%s\\n' \"$$\" \"$session\" \"$@\" > '" + dir / "seen.tmp" + "'\n"
                           "mv '" + dir / "seen.tmp" + "' '" + dir / "seen" + "'\n"
                           "i=0\n"
                           "while [ ! -e '" + dir / "go" + "' ] && [ $i -lt 3000 ]; do\n"
                           "  sleep 0.01; i=$((i+1))\n"
                           "done\n"
                           "exit 5\n",
                           0644));
    auto out = run_forked([&] {
        log_to(dir / "log.txt", 3);
        std::vector<std::string> words = {"tool", "one", "two words"};
        auto argv = argv_of(words);
        int result = tavi_fork_exec(script.c_str(), argv.data());
        if (!wait_until([&] { return file_exists(dir / "seen"); }, 30))
            return std::to_string(result) + " never started";
        std::string seen = read_file(dir / "seen");
        pid_t child = pid_t(atoi(seen.c_str()));
        // Returned while the program still runs.
        std::string running = waitpid(child, nullptr, WNOHANG) == 0 ? "running" : "gone";
        write_file(dir / "go", "");
        int status = reap(child, 30);
        return std::to_string(result) + " " + running + " " + std::to_string(status) + "\n" + seen;
    });
    ASSERT_EQ(out.status, 0);
    std::string head = "1 running 5\n";
    ASSERT_EQ(out.output.substr(0, head.size()), head);
    std::string seen = out.output.substr(head.size());
    std::string pid = seen.substr(0, seen.find('\n'));
    // Session leader: its session id is its own pid.
    EXPECT_EQ(seen, pid + "\n" + pid + "\none\ntwo words\n");
    EXPECT_EQ(file_mode(script), 0700);
    EXPECT_EQ(read_file(dir / "log.txt"), "tavi_fork_exec() - trying to run image '" + script + "'\n");
}

TEST(ForkExec, FailuresAreReported)
{
    struct {
        const char *what;
        bool make_file;
        int result;
        int child_status;      // of the started child; -2: none started
        const char *log;       // "@" for the path
    } cases[] = {
        {"not an executable of this system", true, 1, 1,
         "tavi_fork_exec() - trying to run image '@'\n"
         "Error in tavi_fork_exec(), exec failed.  Return code 0, error code 8. Filename: @\n"},
        {"missing file", false, 0, -2,
         "Error in tavi_fork_exec(), chmod failed.  Return code -1, error code 2. Filename: @\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        std::string path = dir / "tool";
        if (c.make_file) {
            ASSERT_TRUE(write_file(path, foreign_elf(), 0644));
        }
        auto out = run_forked([&] {
            log_to(dir / "log.txt", 3);
            std::vector<std::string> words = {"tool"};
            auto argv = argv_of(words);
            int result = tavi_fork_exec(path.c_str(), argv.data());
            int status = 0;
            pid_t child = -1;
            wait_until([&] { return (child = waitpid(-1, &status, WNOHANG)) != 0; }, 30);
            if (child == 0)
                return std::to_string(result) + " still running";
            int child_status = child < 0 ? -2 : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return std::to_string(result) + " " + std::to_string(child_status);
        });
        EXPECT_EQ(out.output, std::to_string(c.result) + " " + std::to_string(c.child_status));
        std::string expected = c.log;
        for (size_t at; (at = expected.find('@')) != std::string::npos;)
            expected.replace(at, 1, path);
        EXPECT_EQ(read_file(dir / "log.txt"), expected);
        if (c.make_file) {
            EXPECT_EQ(file_mode(path), 0700);
        }
    }
}

// ---- the browser ---------------------------------------------------------------------------

struct browser_case {
    const char *what;
    std::string url;
    const char *browser_ending;   // last line of the stand-in browser; null: no browser on PATH
    bool ignore_sigchld;
    int expected;
    std::string expected_argument;   // the one argument the browser saw
};

TEST(HttpFork, TheUrlReachesTheBrowserAsOneLiteralArgument)
{
    temp_dir dir;
    std::string marker = dir / "ran";
    // Each shell construct here writes a marker file, with builtins only, if a shell reads it.
    std::string hostile = "http://127.0.0.1/a\"b`echo >" + marker + "1`c$(echo >" + marker +
                          "2)d;echo >" + marker + "3;e|f&g\\h $HOME \"i";
    std::string quoted = "http://127.0.0.1/it's \"quoted\" & spaced\\";
    std::string long_url = "http://127.0.0.1/" + std::string(2000, 'q');
    const browser_case cases[] = {
        {"hostile URL", hostile, "exit 0", false, 1, hostile},
        {"quotes and spaces", quoted, "exit 0", false, 1, quoted},
        {"browser fails", "http://127.0.0.1/", "exit 3", false, 1, "http://127.0.0.1/"},
        {"browser killed", "http://127.0.0.1/", "kill -TERM $$", false, 0, "http://127.0.0.1/"},
        {"SIGCHLD ignored", "http://127.0.0.1/", "exit 0", true, 1, "http://127.0.0.1/"},
        {"long URL is cut", long_url, "exit 0", false, 1,
         long_url.substr(0, size_t(tavi_http_fork_max_url_length))},
        {"no browser installed", "http://127.0.0.1/", nullptr, false, 1, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir bin;
        std::string args = dir / "args";
        unlink(args.c_str());
        for (const char *n : {"1", "2", "3"})
            unlink((marker + n).c_str());
        if (c.browser_ending) {
            std::string browser = "#!/bin/sh\n"
                                  "printf '%s\\0' \"$@\" > '" + args + "'\n" + c.browser_ending + "\n";
            ASSERT_TRUE(write_file(bin / "firefox", browser, 0755));
        }
        std::string path = bin.path();
        auto out = run_forked([&] {
            log_to(dir / "log.txt", 3);
            // /bin stays reachable for the stand-in's own shell, which is named absolutely.
            setenv("PATH", path.c_str(), 1);
            if (chdir(dir.path().c_str()) != 0)
                return std::string("chdir failed");
            if (c.ignore_sigchld)
                signal(SIGCHLD, SIG_IGN);
            return std::to_string(tavi_http_fork(c.url.c_str()));
        });
        EXPECT_EQ(out.output, std::to_string(c.expected));
        // Read without waiting: the call waits for the browser to end.
        if (c.browser_ending) {
            EXPECT_EQ(read_file(args), c.expected_argument + std::string(1, '\0'));
        } else {
            EXPECT_FALSE(file_exists(args));
        }
        for (const char *n : {"1", "2", "3"})
            EXPECT_FALSE(file_exists(marker + n)) << n;
        EXPECT_EQ(read_file(dir / "log.txt"), "");
        unlink((dir / "log.txt").c_str());
    }
}

TEST(HttpFork, NullUrlIsRefused)
{
    temp_dir dir;
    auto out = run_forked([&] {
        log_to(dir / "log.txt", 1);
        setenv("PATH", dir.path().c_str(), 1);
        return std::to_string(tavi_http_fork(nullptr));
    });
    EXPECT_EQ(out.output, "0");
    EXPECT_EQ(read_file(dir / "log.txt"), "Error in tavi_http_fork(), NULL url.\n");
}

// ---- boot file check -----------------------------------------------------------------------

TEST(BootFile, TooSmallOrUnreadableIsBad)
{
    struct {
        long size;          // -1: no file; -2: null path
        int expected;
        const char *log;    // "@" for the path
    } cases[] = {
        {99, 1, "tavi_is_boot_file_bad() - image '@' is too small to be valid.\n"},
        {100, 0, ""},
        {0, 1, "tavi_is_boot_file_bad() - image '@' is too small to be valid.\n"},
        {1, 1, "tavi_is_boot_file_bad() - image '@' is too small to be valid.\n"},
        {70000, 0, ""},
        {-1, 1, "tavi_is_boot_file_bad() - cannot open image file '@'.\n"},
        {-2, 1, "tavi_is_boot_file_bad() - cannot open image file '(null)'.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        temp_dir dir;
        std::string path = dir / "client";
        if (c.size >= 0) {
            ASSERT_TRUE(write_file(path, std::string(size_t(c.size), 'b'), 0600));
        }
        auto out = run_forked([&] {
            log_to(dir / "log.txt", 3);
            return std::to_string(tavi_is_boot_file_bad(c.size == -2 ? nullptr : path.c_str()));
        });
        EXPECT_EQ(out.output, std::to_string(c.expected));
        std::string expected = c.log;
        for (size_t at; (at = expected.find('@')) != std::string::npos;)
            expected.replace(at, 1, path);
        EXPECT_EQ(read_file(dir / "log.txt"), expected);
    }
}

TEST(BootFile, CannotOpenIsTracingOnly)
{
    temp_dir dir;
    auto out = run_forked([&] {
        log_to(dir / "log.txt", 2);
        int missing = tavi_is_boot_file_bad((dir / "missing").c_str());
        write_file(dir / "small", "x");
        int small = tavi_is_boot_file_bad((dir / "small").c_str());
        return std::to_string(missing) + std::to_string(small);
    });
    EXPECT_EQ(out.output, "11");
    EXPECT_EQ(read_file(dir / "log.txt"),
              "tavi_is_boot_file_bad() - image '" + dir / "small" + "' is too small to be valid.\n");
}

} // namespace
