// File queries and the lock file, on real files; the lock is tried from two real processes.
#include "support/files.h"

#include "support/debug_log.h"
#include "tests/common/forked_call.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using test_util::file_mode;
using test_util::read_file;
using test_util::run_forked;
using test_util::temp_dir;
using test_util::write_file;

namespace {

// A forked process that takes the lock on `path` and then obeys one-letter commands:
// 'u' unlocks (answering the result), 'x' exits. Killed by PID if the test ends early.
class lock_holder {
public:
    explicit lock_holder(const std::string &path)
    {
        int to_child[2], from_child[2];
        if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(to_child[1]);
            close(from_child[0]);
            int descriptor = tavi_try_lock_file(path.c_str());
            answer(from_child[1], descriptor >= 0 ? "locked" : "refused");
            char command;
            while (read(to_child[0], &command, 1) == 1) {
                if (command == 'u')
                    answer(from_child[1], tavi_unlock_file(descriptor) ? "unlocked" : "unlock failed");
                else
                    break;
            }
            _exit(0);
        }
        close(to_child[0]);
        close(from_child[1]);
        commands_ = to_child[1];
        answers_ = from_child[0];
    }

    ~lock_holder()
    {
        if (commands_ >= 0)
            close(commands_);
        if (answers_ >= 0)
            close(answers_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The child's next answer, or "" when none comes within the bound.
    std::string next_answer()
    {
        std::string text;
        struct pollfd p = {answers_, POLLIN, 0};
        char c;
        while (poll(&p, 1, 30000) == 1 && read(answers_, &c, 1) == 1 && c != '\n')
            text += c;
        return text;
    }

    void send(char command)
    {
        if (write(commands_, &command, 1) != 1)
            ADD_FAILURE() << "command not sent";
    }

    // Tells the child to exit and reaps it; its exit status, or -1.
    int finish()
    {
        send('x');
        int status = 0;
        bool done = test_util::wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 30);
        if (!done)
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static void answer(int descriptor, const char *text)
    {
        std::string line = std::string(text) + "\n";
        if (write(descriptor, line.data(), line.size()) != ssize_t(line.size()))
            _exit(3);
    }

    pid_t pid_ = -1;
    int commands_ = -1;
    int answers_ = -1;
};

int open_descriptor_count()
{
    int count = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            count++;
        closedir(d);
    }
    return count;
}

TEST(LockFile, AnotherProcessHoldingTheLockMakesTheTryFail)
{
    struct {
        const char *what;
        bool by_unlock;   // else by the holder's exit
    } cases[] = {{"holder unlocks", true}, {"holder exits", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        std::string path = dir / "lock.tmp";
        lock_holder holder(path);
        ASSERT_EQ(holder.next_answer(), "locked");
        EXPECT_EQ(file_mode(path), 0600);
        int refused = tavi_try_lock_file(path.c_str());
        EXPECT_EQ(refused, -1);
        if (refused >= 0)
            tavi_unlock_file(refused);
        if (c.by_unlock) {
            holder.send('u');
            ASSERT_EQ(holder.next_answer(), "unlocked");
        } else {
            ASSERT_EQ(holder.finish(), 0);
        }
        int descriptor = tavi_try_lock_file(path.c_str());
        ASSERT_GE(descriptor, 0);
        // Now the other way round: this process holds it, a new one is refused.
        {
            lock_holder second(path);
            EXPECT_EQ(second.next_answer(), "refused");
            EXPECT_EQ(second.finish(), 0);
        }
        EXPECT_EQ(tavi_unlock_file(descriptor), 1);
        lock_holder third(path);
        EXPECT_EQ(third.next_answer(), "locked");
    }
}

TEST(LockFile, SameProcessMayLockAgainAndOneUnlockDropsIt)
{
    temp_dir dir;
    std::string path = dir / "lock.tmp";
    int first = tavi_try_lock_file(path.c_str());
    int second = tavi_try_lock_file(path.c_str());
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_NE(first, second);
    {
        lock_holder other(path);
        EXPECT_EQ(other.next_answer(), "refused");
    }
    EXPECT_EQ(tavi_unlock_file(second), 1);
    {
        lock_holder other(path);
        EXPECT_EQ(other.next_answer(), "locked");
    }
    // The first descriptor is still open: unlocking it succeeds and closes it.
    EXPECT_EQ(tavi_unlock_file(first), 1);
    EXPECT_EQ(fcntl(first, F_GETFD), -1);
}

TEST(LockFile, KeepsContentAndIsCloseOnExec)
{
    temp_dir dir;
    std::string path = dir / "lock.tmp";
    ASSERT_TRUE(write_file(path, "kept\n", 0644));
    int descriptor = tavi_try_lock_file(path.c_str());
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(read_file(path), "kept\n");
    EXPECT_EQ(file_mode(path), 0644);   // an existing file keeps its mode
    EXPECT_TRUE(fcntl(descriptor, F_GETFD) & FD_CLOEXEC);
    EXPECT_EQ(tavi_unlock_file(descriptor), 1);
}

TEST(LockFile, FailuresLeaveNothingOpen)
{
    temp_dir dir;
    int before = open_descriptor_count();
    EXPECT_EQ(tavi_try_lock_file((dir / "missing/lock.tmp").c_str()), -1);
    EXPECT_EQ(tavi_try_lock_file(dir.path().c_str()), -1);   // a directory cannot be opened read-write
    EXPECT_EQ(tavi_try_lock_file(nullptr), -1);
    {
        lock_holder holder(dir / "lock.tmp");
        ASSERT_EQ(holder.next_answer(), "locked");
        int mine_before = open_descriptor_count();
        EXPECT_EQ(tavi_try_lock_file((dir / "lock.tmp").c_str()), -1);
        EXPECT_EQ(open_descriptor_count(), mine_before);
    }
    EXPECT_EQ(open_descriptor_count(), before);
}

TEST(LockFile, UnlockRefusesBadDescriptors)
{
    EXPECT_EQ(tavi_unlock_file(-1), 0);
    EXPECT_EQ(tavi_unlock_file(-5), 0);
    int spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(spare, 0);
    close(spare);
    EXPECT_EQ(tavi_unlock_file(spare), 0);   // no longer open
}

// ---- queries -------------------------------------------------------------------------------

TEST(FileQueries, KindsOfPaths)
{
    temp_dir dir;
    ASSERT_TRUE(write_file(dir / "file", std::string(4242, 'x')));
    ASSERT_EQ(mkdir((dir / "dir").c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir / "file").c_str(), (dir / "link-to-file").c_str()), 0);
    ASSERT_EQ(symlink((dir / "dir").c_str(), (dir / "link-to-dir").c_str()), 0);
    ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    struct timespec times[2] = {{1234567890, 0}, {1234567890, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / "file").c_str(), times, 0), 0);
    struct {
        const char *name;
        int exists, is_directory, is_regular;
        int64_t size;   // -1: not checked
        int64_t modification_time;
    } cases[] = {
        {"file", 1, 0, 1, 4242, 1234567890},
        {"link-to-file", 1, 0, 1, 4242, 1234567890},
        {"dir", 1, 1, 0, -1, -1},
        {"link-to-dir", 1, 1, 0, -1, -1},
        {"fifo", 1, 0, 0, 0, -1},
        {"dangling", 0, 0, 0, -1, -1},
        {"missing", 0, 0, 0, -1, -1},
        {"file/below", 0, 0, 0, -1, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir / c.name;
        EXPECT_EQ(tavi_file_exists(path.c_str()), c.exists);
        EXPECT_EQ(tavi_is_directory(path.c_str()), c.is_directory);
        EXPECT_EQ(tavi_is_regular_file(path.c_str()), c.is_regular);
        tavi_file_info info = {7, 7, -7, -7};
        EXPECT_EQ(tavi_filename_get_file_info(path.c_str(), &info), c.exists);
        if (!c.exists) {
            // Left unchanged.
            EXPECT_EQ(info.is_directory, 7);
            EXPECT_EQ(info.is_regular_file, 7);
            EXPECT_EQ(info.size, -7);
            EXPECT_EQ(info.modification_time, -7);
            continue;
        }
        EXPECT_EQ(info.is_directory, c.is_directory);
        EXPECT_EQ(info.is_regular_file, c.is_regular);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(info.size, c.size >= 0 ? c.size : int64_t(st.st_size));
        EXPECT_EQ(info.modification_time,
                  c.modification_time >= 0 ? c.modification_time : int64_t(st.st_mtime));
    }
    EXPECT_EQ(tavi_file_exists(nullptr), 0);
    EXPECT_EQ(tavi_is_directory(nullptr), 0);
    EXPECT_EQ(tavi_is_regular_file(nullptr), 0);
}

TEST(FileQueries, NullRecordIsReported)
{
    temp_dir dir;
    std::string log = dir / "log.txt";
    auto out = run_forked([&] {
        test_util::log_to(log, 1);
        tavi_file_info info = {7, 7, -7, -7};
        int with_null = tavi_filename_get_file_info(dir.path().c_str(), nullptr);
        int with_null_path = tavi_filename_get_file_info(nullptr, &info);
        return std::to_string(with_null) + std::to_string(with_null_path) + " " +
               std::to_string(info.size);
    });
    EXPECT_EQ(out.output, "00 -7");
    EXPECT_EQ(read_file(log), "Error in tavi_filename_get_file_info(), NULL dest.\n");
}

TEST(FileQueries, WrappersBehaveAsTheSystemCalls)
{
    temp_dir dir;
    ASSERT_TRUE(write_file(dir / "doomed", "x"));
    std::string root = dir.path();
    auto out = run_forked([&] {
        std::string r;
        auto note = [&](const char *what, int result) {
            r += std::string(what) + "=" + std::to_string(result) +
                 (result < 0 ? "/" + std::string(strerror(errno)) : "") + " ";
        };
        note("chdir", tavi_chdir(root.c_str()));
        char buffer[PATH_MAX];
        r += std::string(tavi_getcwd(buffer, sizeof buffer) == buffer ? buffer : "(null)") + " ";
        r += std::string(tavi_getcwd(buffer, 2) ? "fits" : strerror(errno)) + " ";
        note("unlink", tavi_unlink("doomed"));
        note("unlink-again", tavi_unlink("doomed"));
        note("chdir-missing", tavi_chdir("missing"));
        note("chdir-null", tavi_chdir(nullptr));
        note("unlink-null", tavi_unlink(nullptr));
        return r;
    });
    EXPECT_EQ(out.output, "chdir=0 " + root + " " + strerror(ERANGE) + " unlink=0 unlink-again=-1/" +
                              strerror(ENOENT) + " chdir-missing=-1/" + strerror(ENOENT) +
                              " chdir-null=-1/" + strerror(EFAULT) + " unlink-null=-1/" +
                              strerror(EFAULT) + " ");
    EXPECT_FALSE(test_util::file_exists(dir / "doomed"));
}

} // namespace
