// The debug log and report_error: level gating, masks, opening rules and failing writes. The log
// is process-wide, so each case runs in a forked child.
#include "support/debug_log.h"

#include "tests/common/forked_call.h"
#include "tests/common/test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using test_util::read_file;
using test_util::run_forked;
using test_util::temp_dir;

// Counts the write() calls made on one descriptor, passing every call on to the kernel.
namespace {
int watched_descriptor = -1;
int watched_writes = 0;
} // namespace

extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    if (fd == watched_descriptor)
        ++watched_writes;
    return syscall(SYS_write, fd, data, size);
}

namespace {

// In a child: the log goes to `path`, opened now, with `level` as log_level.
void open_log(const std::string &path, int level)
{
    tavi_client_set_debug_logfile_name(path.c_str());
    tavi_client_try_open_debug_logfile();
    log_level = level;
}

} // namespace

TEST(ReportError, LevelMaskAndSwitch)
{
    struct {
        int level;
        uint32_t mask;
        bool enabled;
        uint32_t category;
        bool written;
    } cases[] = {
        {3, 0, true, REPORT_TRACE, true},
        {2, 0, true, REPORT_TRACE, false},
        {1, 0, true, REPORT_MISUSE, true},
        {0, 0, true, REPORT_MISUSE, false},
        {1, REPORT_MISUSE, true, REPORT_MISUSE, false},
        {1, REPORT_MISUSE, true, REPORT_MISUSE | REPORT_RUNTIME, true},   // bit 2 is not masked
        {3, REPORT_TRACE, true, REPORT_TRACE, false},
        {2, 0, true, REPORT_TRACE | REPORT_MISUSE, false},   // tracing among the bits needs 3
        {3, 0, false, REPORT_MISUSE, false},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        std::string path = dir / "log.txt";
        test_util::forked_result r = run_forked([&] {
            open_log(path, c.level);
            report_error_set_mask(c.mask);
            if (!c.enabled)
                report_error_disable();
            report_error("Error in thing::call(), it broke.", c.category);
            return std::string();
        });
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(read_file(path), c.written ? "Error in thing::call(), it broke.\n" : "")
            << "level " << c.level << " mask " << c.mask << " category " << c.category;
    }
}

TEST(DebugLog, FirstMessageWithoutANameGoesToStandardOutput)
{
    temp_dir dir;
    std::string out = dir / "stdout.txt";
    test_util::forked_result r = run_forked([&] {
        freopen(out.c_str(), "w", stdout);
        log_printf("first %d\n", 1);
        tavi_client_set_debug_logfile_name((dir / "late.txt").c_str());
        return std::string(tavi_client_debug_logfile_is_open() ? "open" : "closed");
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "open");
    EXPECT_EQ(read_file(out), "first 1\n"
                              "Error in tavi_client_set_debug_logfile_name(), logfile already open.\n");
    EXPECT_FALSE(test_util::file_exists(dir / "late.txt"));
}

TEST(DebugLog, NamedFileOpensOnFirstMessageAndAppends)
{
    temp_dir dir;
    std::string path = dir / "log.txt";
    ASSERT_TRUE(test_util::write_file(path, "earlier\n"));
    test_util::forked_result r = run_forked([&] {
        log_level = 3;
        tavi_client_set_debug_logfile_name(path.c_str());
        log_printf("now\n");
        return std::string();
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(read_file(path),
              "earlier\ntavi_client_try_open_debug_logfile() opened logfile '" + path + "'\nnow\n");
}

TEST(DebugLog, AutoOpenNameMakesALogInTmp)
{
    std::string name = "morvelle-debug-log-test-" + std::to_string(getpid()) + ".log";
    std::string path = "/tmp/" + name;
    unlink(path.c_str());
    test_util::forked_result r = run_forked([&] {
        umask(0);
        tavi_client_set_autoopen_debug_logfile_name(name.c_str());
        log_printf("hello\n");
        log_printf("again\n");
        return std::string(tavi_client_get_debug_logfile_name());
    });
    std::string content = read_file(path);
    int mode = test_util::file_mode(path);
    unlink(path.c_str());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, path);
    EXPECT_EQ(content, "hello\nagain\n");
    EXPECT_EQ(mode, 0644);
}

TEST(DebugLog, FailedOpenDropsMessagesWithoutRetrying)
{
    temp_dir dir;
    std::string path = dir / "later/log.txt";
    test_util::forked_result r = run_forked([&] {
        tavi_client_set_debug_logfile_name(path.c_str());
        log_printf("lost\n");
        int failed = tavi_client_debug_logfile_open_failed();
        // The place becomes writeable, but no new attempt is made.
        mkdir((dir / "later").c_str(), 0700);
        log_printf("also lost\n");
        return std::to_string(failed) + std::to_string(tavi_client_debug_logfile_is_open());
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "10");
    EXPECT_FALSE(test_util::file_exists(path));
}

TEST(DebugLog, DescriptorZeroIsAWorkingLog)
{
    // A process started with standard input closed gets descriptor 0 for its log.
    temp_dir dir;
    std::string path = dir / "log.txt";
    test_util::forked_result r = run_forked([&] {
        close(0);
        tavi_signal_safe_logfile log;
        int opened = log.open(path.c_str());
        int descriptor = log.descriptor();
        int written = log.write("on zero\n");
        return std::to_string(opened) + std::to_string(descriptor) + std::to_string(written);
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "101");
    EXPECT_EQ(read_file(path), "on zero\n");
}

TEST(DebugLog, FailingWritesStopAtTheRecursionLimitThenStaySilent)
{
    test_util::forked_result r = run_forked([&] {
        open_log("/dev/full", 3);
        watched_descriptor = debug_log.descriptor();
        watched_writes = 0;
        log_printf("first\n");
        int first = watched_writes;
        watched_writes = 0;
        int result = debug_log.write("second\n");
        int second = watched_writes;
        return std::to_string(first) + " " + std::to_string(second) + " " + std::to_string(result);
    }, 20);
    ASSERT_EQ(r.status, 0);
    // One attempt per nesting level up to the limit; afterwards one silent attempt per message.
    EXPECT_EQ(r.output, std::to_string(tavi_signal_safe_logfile::recursion_limit) + " 1 0");
}

TEST(DebugLog, WriteNumberAndDumpBytes)
{
    temp_dir dir;
    std::string path = dir / "log.txt";
    test_util::forked_result r = run_forked([&] {
        open_log(path, 2);
        for (int32_t n : {0, 7, -7, INT_MAX, INT_MIN}) {
            debug_log.write_number(n);
            debug_log.write(" ");
        }
        const unsigned char bytes[] = {'A', 10, 7, 200};
        log_dump_bytes(bytes, 4);
        log_level = 1;
        log_dump_bytes(bytes, 4);   // below level 2: nothing
        log_dump_bytes(bytes, 0);
        return std::string();
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(read_file(path), "0 7 -7 2147483647 -2147483648 A\n..");
}

TEST(DebugLog, LongMessagesAreCutToTheFormatBuffer)
{
    temp_dir dir;
    std::string path = dir / "log.txt";
    std::string text(20000, 'x');
    test_util::forked_result r = run_forked([&] {
        open_log(path, 1);
        log_printf("%s", text.c_str());
        return std::string();
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(read_file(path), text.substr(0, 10239));
}
