// Helpers shared by the tests.
#include "tests/common/test_util.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace test_util {

namespace {

double now_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int decode_status(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::vector<std::string> child_environment(const run_options &options)
{
    std::vector<std::string> env;
    if (!options.env.empty())
        return options.env;
    for (char **e = environ; *e; e++) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('='));
        bool dropped = false;
        for (const auto &u : options.unset)
            dropped |= (u == name);
        for (const auto &s : options.set)
            dropped |= (s.substr(0, s.find('=')) == name);
        if (!dropped)
            env.push_back(entry);
    }
    for (const auto &s : options.set)
        env.push_back(s);
    return env;
}

// In the child after fork: set up and exec, never returns.
[[noreturn]] void exec_child(const std::vector<std::string> &argv, const run_options &options)
{
    setpgid(0, 0);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0)
        _exit(126);
    if (options.close_stdin)
        close(0);
    std::vector<std::string> env = child_environment(options);
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
}

void kill_group(pid_t pid, int sig)
{
    if (pid > 0) {
        kill(-pid, sig);
        kill(pid, sig);
    }
}

} // namespace

temp_dir::temp_dir()
{
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/morvelle-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()))
        path_ = buffer.data();
}

temp_dir::~temp_dir()
{
    if (!path_.empty())
        remove_tree(path_);
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool write_file(const std::string &path, const std::string &content, int mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, content.data(), content.size()) == ssize_t(content.size());
    ok &= fchmod(fd, mode) == 0;
    return close(fd) == 0 && ok;
}

int file_mode(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void remove_tree(const std::string &path)
{
    // Directories made read-only by a test must be opened up before they can be emptied.
    run({"chmod", "-R", "u+rwx", path});
    run({"rm", "-rf", path});
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

int count_lines(const std::string &text, const std::string &line)
{
    int n = 0;
    for (const auto &l : lines_of(text))
        n += l == line;
    return n;
}

run_result run(const std::vector<std::string> &argv, const run_options &options)
{
    run_result result;
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0)
        return result;
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return result;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        exec_child(argv, options);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (pid < 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        return result;
    }
    double deadline = now_seconds() + options.timeout_seconds;
    bool timed_out = false;
    struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        int left_ms = int((deadline - now_seconds()) * 1000);
        if (left_ms <= 0) {
            timed_out = true;
            break;
        }
        int ready = poll(fds, 2, left_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_pipes--;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0)
            close(f.fd);
    if (timed_out)
        kill_group(pid, SIGKILL);
    int status = 0;
    // The pipes may close before the child ends (it can close them itself); wait with a bound.
    while (true) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return result;
        if (now_seconds() > deadline) {
            timed_out = true;
            kill_group(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.status = timed_out ? -1 : decode_status(status);
    return result;
}

child_process::child_process(const std::vector<std::string> &argv, const run_options &options)
{
    pid_ = fork();
    if (pid_ == 0)
        exec_child(argv, options);
}

child_process::~child_process() { stop(); }

int child_process::wait(double seconds)
{
    if (pid_ <= 0)
        return status_;
    double deadline = now_seconds() + seconds;
    do {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = decode_status(status);
            pid_ = -1;
            return status_;
        }
        if (done < 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (now_seconds() < deadline);
    return -1;
}

bool child_process::running()
{
    return pid_ > 0 && wait(0) == -1 && pid_ > 0;
}

void child_process::stop()
{
    if (pid_ <= 0)
        return;
    kill_group(pid_, SIGTERM);
    if (wait(2) == -1 && pid_ > 0) {
        kill_group(pid_, SIGKILL);
        wait(5);
    }
}

bool wait_until_impl(bool (*probe)(void *), void *context, double seconds)
{
    double deadline = now_seconds() + seconds;
    while (true) {
        if (probe(context))
            return true;
        if (now_seconds() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace test_util
