// Threads: detached start, the counting blocker, sleep_ms and the global lock across processes.
#include "support/threads.h"

#include "support/debug_log.h"
#include "tests/common/log_capture.h"
#include "tests/common/test_util.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Every nanosleep of this program comes here: the last request is recorded, then slept for real
// unless sleep_for_real is off.
static std::atomic<long> recorded_sleep_seconds{-1};
static std::atomic<long> recorded_sleep_nanoseconds{-1};
static std::atomic<int> recorded_sleep_calls{0};
static std::atomic<bool> sleep_for_real{true};

extern "C" int nanosleep(const struct timespec *request, struct timespec *remaining)
{
    recorded_sleep_seconds = long(request->tv_sec);
    recorded_sleep_nanoseconds = request->tv_nsec;
    recorded_sleep_calls++;
    if (!sleep_for_real)
        return 0;
    int error = clock_nanosleep(CLOCK_REALTIME, 0, request, remaining);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

namespace {

double monotonic_seconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct thread_probe {
    std::atomic<int> ran{0};
    std::atomic<int> detached{-1};
    std::atomic<bool> other_thread{false};
    pthread_t creator{};
    void *argument_seen = nullptr;
};

long probe_body(void *argument)
{
    thread_probe *probe = static_cast<thread_probe *>(argument);
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        int state = -1;
        pthread_attr_getdetachstate(&attributes, &state);
        probe->detached = state == PTHREAD_CREATE_DETACHED;
        pthread_attr_destroy(&attributes);
    }
    probe->other_thread = !pthread_equal(pthread_self(), probe->creator);
    probe->argument_seen = argument;
    probe->ran = 1;
    return 0;
}

// Starts probe_body from a thread of its own, to show that threads can start threads.
struct nested_start {
    thread_probe inner;
    std::atomic<int> result{-1};
};

long nested_body(void *argument)
{
    nested_start *nested = static_cast<nested_start *>(argument);
    nested->inner.creator = pthread_self();
    nested->result = tavi_thread_create("inner", probe_body, &nested->inner);
    return 0;
}

} // namespace

TEST(Threads, CreateRunsTheFunctionOnADetachedThread)
{
    thread_probe probe;
    probe.creator = pthread_self();
    ASSERT_EQ(tavi_thread_create("executable updater", probe_body, &probe), 1);
    ASSERT_TRUE(test_util::wait_until([&] { return probe.ran.load() == 1; }, 30));
    EXPECT_EQ(probe.detached.load(), 1);
    EXPECT_TRUE(probe.other_thread.load());
    EXPECT_EQ(probe.argument_seen, &probe);

    nested_start nested;
    ASSERT_EQ(tavi_thread_create(nullptr, nested_body, &nested), 1);
    ASSERT_TRUE(test_util::wait_until([&] { return nested.inner.ran.load() == 1; }, 30));
    EXPECT_EQ(nested.result.load(), 1);
    EXPECT_EQ(nested.inner.detached.load(), 1);
    EXPECT_TRUE(nested.inner.other_thread.load());
}

TEST(Threads, FailedCreateReportsAndCallsNothing)
{
    // A default stack far larger than the address space makes every thread creation fail.
    pthread_attr_t saved, huge;
    ASSERT_EQ(pthread_getattr_default_np(&saved), 0);
    ASSERT_EQ(pthread_attr_init(&huge), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&huge, size_t(1) << 46), 0);
    ASSERT_EQ(pthread_setattr_default_np(&huge), 0);

    test_util::log_capture log;
    thread_probe probe;
    int result = tavi_thread_create("doomed", probe_body, &probe);
    int null_result = tavi_thread_create("no body", nullptr, &probe);
    ASSERT_EQ(pthread_setattr_default_np(&saved), 0);
    pthread_attr_destroy(&huge);
    pthread_attr_destroy(&saved);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(null_result, 0);
    EXPECT_EQ(probe.ran.load(), 0);
    EXPECT_EQ(log.text(), "Error in tavi_thread_create(), thread create failed?\n"
                          "Error in tavi_thread_create(), thread create failed?\n");
}

TEST(ThreadBlocker, UnblocksBeforeBlocksAreKept)
{
    test_util::log_capture log;
    {
        tavi_thread_blocker blocker;
        blocker.unblock();
        blocker.block();   // returns at once: the unblock came first
        blocker.unblock();
        blocker.unblock();
        blocker.block();
        blocker.block();
    }
    EXPECT_EQ(log.text(), "");   // every unblock was consumed
}

TEST(ThreadBlocker, EachUnblockReleasesOneWaiter)
{
    constexpr int waiters = 3;
    struct shared_state {
        tavi_thread_blocker blocker;
        std::atomic<int> started{0};
        std::atomic<int> passed{0};
        std::atomic<int> finished{0};
    };
    test_util::log_capture log;
    auto *shared = new shared_state;
    auto body = [](void *argument) -> long {
        shared_state *s = static_cast<shared_state *>(argument);
        s->started++;
        s->blocker.block();
        s->passed++;
        s->finished++;
        return 0;
    };
    for (int i = 0; i < waiters; i++)
        ASSERT_EQ(tavi_thread_create("waiter", body, shared), 1);
    ASSERT_TRUE(test_util::wait_until([&] { return shared->started.load() == waiters; }, 30));
    EXPECT_EQ(shared->passed.load(), 0);
    for (int k = 1; k <= waiters; k++) {
        shared->blocker.unblock();
        ASSERT_TRUE(test_util::wait_until([&] { return shared->passed.load() >= k; }, 30));
        EXPECT_EQ(shared->passed.load(), k) << "one unblock let more than one waiter through";
    }
    ASSERT_TRUE(test_util::wait_until([&] { return shared->finished.load() == waiters; }, 30));
    delete shared;
    EXPECT_EQ(log.text(), "");
}

TEST(ThreadBlocker, DestroyWithUnconsumedUnblockReports)
{
    test_util::log_capture log;
    {
        tavi_thread_blocker blocker;
        blocker.unblock();
        blocker.unblock();
        blocker.block();
    }
    EXPECT_EQ(log.text(),
              "Error in ~tavi_thread_blocker(), unblock counter was nonzero on destruct?\n");
}

TEST(SleepMs, SleepsTheWholeSecondsAndTheRest)
{
    recorded_sleep_calls = 0;
    double start = monotonic_seconds();
    sleep_ms(1500);
    double slept = monotonic_seconds() - start;
    EXPECT_EQ(recorded_sleep_calls.load(), 1);
    EXPECT_EQ(recorded_sleep_seconds.load(), 1);
    EXPECT_EQ(recorded_sleep_nanoseconds.load(), 500000000L);
    EXPECT_GE(slept, 1.5);

    struct {
        int ms;
        long seconds;
        long nanoseconds;
    } cases[] = {{1, 0, 1000000L}, {999, 0, 999000000L}, {1000, 1, 0}, {2001, 2, 1000000L}};
    sleep_for_real = false;
    for (const auto &c : cases) {
        recorded_sleep_calls = 0;
        sleep_ms(c.ms);
        EXPECT_EQ(recorded_sleep_calls.load(), 1) << c.ms;
        EXPECT_EQ(recorded_sleep_seconds.load(), c.seconds) << c.ms;
        EXPECT_EQ(recorded_sleep_nanoseconds.load(), c.nanoseconds) << c.ms;
    }

    // Nothing to sleep: no call at all.
    recorded_sleep_calls = 0;
    sleep_ms(0);
    sleep_ms(-20);
    sleep_for_real = true;
    EXPECT_EQ(recorded_sleep_calls.load(), 0);
}

namespace {

// A forked copy of this program that takes and releases the global lock on command, so the lock
// meets a second real process running the same library code. Forked before this process takes
// anything, it starts with nothing held. Killed by PID when it goes out of scope.
class lock_peer {
public:
    explicit lock_peer(const std::string &path)
    {
        int to_child[2], from_child[2];
        if (pipe(to_child) != 0 || pipe(from_child) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(to_child[1]);
            close(from_child[0]);
            char command;
            while (read(to_child[0], &command, 1) == 1) {
                char reply = 'x';
                if (command == 't')
                    reply = char('0' + take_global_lock(path.c_str()));
                else if (command == 'r')
                    reply = char('0' + release_global_lock());
                if (write(from_child[1], &reply, 1) != 1)
                    break;
            }
            _exit(0);
        }
        close(to_child[0]);
        close(from_child[1]);
        command_fd_ = to_child[1];
        reply_fd_ = from_child[0];
    }
    ~lock_peer()
    {
        close(command_fd_);
        close(reply_fd_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The peer's result of take_global_lock (command 't') or release_global_lock ('r'), or -1.
    int ask(char command)
    {
        char reply;
        if (write(command_fd_, &command, 1) != 1 || read(reply_fd_, &reply, 1) != 1)
            return -1;
        return reply - '0';
    }
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int command_fd_ = -1;
    int reply_fd_ = -1;
};

} // namespace

TEST(GlobalLock, ExcludesAnotherProcess)
{
    test_util::temp_dir dir;
    std::string path = dir / "lock.tmp";
    lock_peer peer(path);
    ASSERT_TRUE(peer.started());

    // The peer holds it: this process gets nothing and holds nothing.
    ASSERT_EQ(peer.ask('t'), 1);
    EXPECT_EQ(test_util::file_mode(path), 0600);
    EXPECT_EQ(take_global_lock(path.c_str()), 0);
    EXPECT_EQ(release_global_lock(), 0);
    ASSERT_EQ(peer.ask('r'), 1);

    // Now the other way round.
    ASSERT_EQ(take_global_lock(path.c_str()), 1);
    EXPECT_EQ(peer.ask('t'), 0);
    EXPECT_EQ(peer.ask('r'), 0);
    EXPECT_EQ(release_global_lock(), 1);
    EXPECT_EQ(release_global_lock(), 0);   // nothing held any more
    EXPECT_EQ(peer.ask('t'), 1);
    EXPECT_EQ(peer.ask('r'), 1);
}

TEST(GlobalLock, SecondTakeInOneProcessKeepsTheFirst)
{
    test_util::temp_dir dir;
    std::string first = dir / "first.tmp", second = dir / "second.tmp";
    lock_peer peer(first);
    ASSERT_TRUE(peer.started());

    ASSERT_EQ(take_global_lock(first.c_str()), 1);
    EXPECT_EQ(take_global_lock(second.c_str()), 0);
    EXPECT_EQ(take_global_lock(first.c_str()), 0);
    EXPECT_EQ(peer.ask('t'), 0);   // the first lock is still held
    EXPECT_EQ(release_global_lock(), 1);
    EXPECT_EQ(peer.ask('t'), 1);   // and was really released
    EXPECT_EQ(peer.ask('r'), 1);
}

TEST(GlobalLock, UnopenablePathHoldsNothing)
{
    test_util::temp_dir dir;
    std::string path = dir / "missing/lock.tmp";
    EXPECT_EQ(take_global_lock(path.c_str()), 0);
    EXPECT_EQ(release_global_lock(), 0);
    EXPECT_EQ(take_global_lock(nullptr), 0);
    EXPECT_EQ(release_global_lock(), 0);
    EXPECT_FALSE(test_util::file_exists(path));
}
