// Runs a piece of the test program in a forked child, for code that keeps process-wide state,
// changes the working directory or the environment, or replaces the process.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace test_util {

struct forked_result {
    int status = -1;        // exit status, 128 + signal, or -1 when it could not run / timed out
    std::string output;     // what the body returned (empty if it exec'd or died)
};

// Forks; the child runs `body` (a callable returning std::string), sends its result back and
// ends with _exit(0), so no exit handlers or test-framework state of the child run. A body that
// execs a program ends with that program's status. Test assertions inside `body` are not seen
// by the parent: return what should be checked. The child is killed by PID (SIGKILL) when it
// outlives `timeout_seconds`.
template <class F> forked_result run_forked(F body, double timeout_seconds = 60)
{
    using clock = std::chrono::steady_clock;
    forked_result result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return result;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string out = body();
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        _exit(0);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return result;
    }
    auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                       std::chrono::duration<double>(timeout_seconds));
    bool timed_out = false;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            break;
        }
        struct pollfd p = {fds[0], POLLIN, 0};
        int ready = poll(&p, 1, int(left.count()));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char buffer[4096];
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, size_t(n));
    }
    close(fds[0]);
    int status = 0;
    while (true) {
        pid_t waited = waitpid(pid, &status, WNOHANG);
        if (waited == pid)
            break;
        if (waited < 0 && errno != EINTR)
            return result;
        if (timed_out || clock::now() > deadline) {
            timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (timed_out)
        result.status = -1;
    else if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    return result;
}

} // namespace test_util
