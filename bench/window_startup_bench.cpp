// Start-up of the launcher beside the smallest toolkit program with the same 480 x 300 frame:
// time from fork to the window's MapNotify, and peak resident memory, on a private Xvfb.
// The figures are the counters (medians over the runs); the time column is the whole series.
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Each program lives this long after its window maps before it is stopped with SIGTERM, so that
// both have painted and the peak resident size covers the same part of their lives. Shorter than
// the launcher's wait before it boots the client.
constexpr int settle_ms = 300;
constexpr int map_timeout_ms = 30000;
constexpr int exit_timeout_ms = 5000;
constexpr int poll_slice_ms = 10;
constexpr int frame_width = 480;
constexpr int frame_height = 300;

struct program {
    const char *label;
    const char *binary;
    const char *title;
};

const program minimal_program = {"minimal", MINIMAL_WX_WINDOW_BINARY, "Minimal Frame"};
const program launcher_program = {"launcher", MORVELLE_LAUNCHER_BINARY, "Morvelle Launcher"};

// What one run of a program cost.
struct sample {
    double map_ms = 0;
    double max_rss_mib = 0;
    double cpu_ms = 0;   // user + system, over the whole life
};

// Processes to stop when the benchmark itself is interrupted.
volatile pid_t server_pid = -1;
volatile pid_t child_pid = -1;

void stop_on_signal(int number)
{
    if (child_pid > 0)
        kill(child_pid, SIGKILL);
    if (server_pid > 0)
        kill(server_pid, SIGTERM);
    _exit(128 + number);
}

double now_ms()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Waits up to `timeout_ms` for `pid` to end; 1 with its status and usage, 0 when it still runs.
int wait_child(pid_t pid, int timeout_ms, int &status, rusage &usage)
{
    for (int waited = 0;; waited += poll_slice_ms) {
        pid_t r = wait4(pid, &status, WNOHANG, &usage);
        if (r == pid)
            return 1;
        if (r < 0 && errno != EINTR)
            return 0;
        if (waited >= timeout_ms)
            return 0;
        usleep(poll_slice_ms * 1000);
    }
}

// Stops `pid` with SIGTERM (SIGKILL when it lingers) and collects it.
void stop_child(pid_t pid, int &status, rusage &usage)
{
    kill(pid, SIGTERM);
    if (!wait_child(pid, exit_timeout_ms, status, usage)) {
        kill(pid, SIGKILL);
        while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
    }
    child_pid = -1;
}

// Xvfb on a display number of its own choosing; stopped by PID at exit.
class private_server {
public:
    private_server()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            char fd_text[16];
            snprintf(fd_text, sizeof fd_text, "%d", fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd_text, "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return;
        }
        server_pid = pid;
        // Xvfb writes the display number it chose, then a line feed.
        std::string number;
        pollfd p = {fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            name_ = ":" + number;
    }
    ~private_server()
    {
        pid_t pid = server_pid;
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        int status;
        rusage usage;
        if (!wait_child(pid, exit_timeout_ms, status, usage)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        server_pid = -1;
    }
    const std::string &name() const { return name_; }

private:
    std::string name_;
};

int ignore_x_error(Display *, XErrorEvent *)
{
    return 0;   // a window that went away between its event and our query
}

// A connection that sees every top-level window map on the server.
class map_watch {
public:
    explicit map_watch(const std::string &display_name)
    {
        display_ = XOpenDisplay(display_name.c_str());
        if (!display_)
            return;
        XSetErrorHandler(ignore_x_error);
        fcntl(ConnectionNumber(display_), F_SETFD, FD_CLOEXEC);
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~map_watch()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    bool ok() const { return display_ != nullptr; }

    // Drops the events of earlier runs.
    void discard_events()
    {
        XSync(display_, False);
        while (XPending(display_)) {
            XEvent e;
            XNextEvent(display_, &e);
        }
    }

    // Waits until a window titled `title` maps, `pid` still running; returns the moment of the
    // map in now_ms() with the window in `mapped`, or a negative number when the program ended
    // first or none mapped in time.
    double wait_for_map(const char *title, pid_t pid, Window &mapped, int &status, rusage &usage,
                        bool &ended)
    {
        ended = false;
        double deadline = now_ms() + map_timeout_ms;
        while (now_ms() < deadline) {
            while (XPending(display_)) {
                XEvent e;
                XNextEvent(display_, &e);
                if (e.type != MapNotify)
                    continue;
                double at = now_ms();
                if (has_title(e.xmap.window, title)) {
                    mapped = e.xmap.window;
                    return at;
                }
            }
            if (wait4(pid, &status, WNOHANG, &usage) == pid) {
                ended = true;
                return -1;
            }
            pollfd p = {ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, poll_slice_ms);
        }
        return -1;
    }

    // The window's size; 0 when it is gone.
    int size_of(Window window, int &width, int &height)
    {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, window, &a))
            return 0;
        width = a.width;
        height = a.height;
        return 1;
    }

    // Lets `ms` pass while keeping the event queue short; 0 when `pid` ended meanwhile.
    int settle(int ms, pid_t pid, int &status, rusage &usage)
    {
        double until = now_ms() + ms;
        while (now_ms() < until) {
            discard_events();
            if (wait4(pid, &status, WNOHANG, &usage) == pid)
                return 0;
            pollfd p = {ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, poll_slice_ms);
        }
        return 1;
    }

private:
    // The window itself carries the title, or (under a window manager) one of its children.
    bool has_title(Window window, const char *title)
    {
        if (name_is(window, title))
            return true;
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &children, &count))
            return false;
        bool found = false;
        for (unsigned i = 0; i < count && !found; i++)
            found = name_is(children[i], title);
        if (children)
            XFree(children);
        return found;
    }
    bool name_is(Window window, const char *title)
    {
        char *name = nullptr;
        if (!XFetchName(display_, window, &name) || !name)
            return false;
        bool same = strcmp(name, title) == 0;
        XFree(name);
        return same;
    }

    Display *display_ = nullptr;
};

// One HOME per program, kept across its runs as a player's would be; removed at the end.
class throwaway_home {
public:
    throwaway_home()
    {
        const char *base = getenv("TMPDIR");
        std::string pattern =
            std::string(base && *base ? base : "/tmp") + "/window-startup-bench-XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~throwaway_home()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

std::string read_text(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

// Runs `p` once in `home` on `display` until its window has mapped and settled; 1 with the
// figures in `out`, 0 with the reason in `error`.
int run_once(map_watch &watch, const std::string &display, const program &p,
             const std::string &home, sample &out, std::string &error)
{
    std::vector<std::string> settings = {"HOME=" + home, "DISPLAY=" + display,
                                         // No accessibility bus: GTK would look for one over
                                         // D-Bus, and may start a bus daemon of its own.
                                         "NO_AT_BRIDGE=1"};
    for (char **e = environ; *e; e++) {
        bool replaced = false;
        for (const char *name : {"HOME=", "DISPLAY=", "NO_AT_BRIDGE="})
            replaced = replaced || strncmp(*e, name, strlen(name)) == 0;
        if (!replaced)
            settings.push_back(*e);
    }
    std::vector<char *> envp;
    for (auto &s : settings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string binary = p.binary;
    char *argv[] = {binary.data(), nullptr};
    std::string output_path = home + "/output.txt";
    int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output < 0) {
        error = "cannot write " + output_path;
        return 0;
    }

    watch.discard_events();
    double start = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(output, 1);
        dup2(output, 2);
        if (chdir(home.c_str()) != 0)
            _exit(126);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(output);
    if (pid < 0) {
        error = "fork failed";
        return 0;
    }
    child_pid = pid;

    int status = 0;
    rusage usage{};
    bool ended = false;
    Window window = 0;
    double mapped = watch.wait_for_map(p.title, pid, window, status, usage, ended);
    if (mapped < 0) {
        if (!ended)
            stop_child(pid, status, usage);
        child_pid = -1;
        error = std::string(p.label) + (ended ? " ended before its window mapped: "
                                              : " mapped no window in time: ") +
                read_text(output_path);
        return 0;
    }
    // Both programs must show the same frame, or the comparison says nothing.
    int width = 0, height = 0;
    if (!watch.size_of(window, width, height) || width != frame_width || height != frame_height) {
        stop_child(pid, status, usage);
        error = std::string(p.label) + " mapped a window of " + std::to_string(width) + " x " +
                std::to_string(height);
        return 0;
    }
    if (!watch.settle(settle_ms, pid, status, usage)) {
        child_pid = -1;
        error = std::string(p.label) + " ended by itself while settling: " + read_text(output_path);
        return 0;
    }
    stop_child(pid, status, usage);

    out.map_ms = mapped - start;
    out.max_rss_mib = usage.ru_maxrss / 1024.0;   // KiB on Linux
    out.cpu_ms = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return 1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs each program `runs` times, interleaved (the order swapped every pair), after one pair that
// is not counted; 0 at the first failure. The uncounted pair warms the page cache, makes the
// launcher's files, and lets the toolkit store its GL visual choice on the root window (the first
// toolkit program on a new server loads the GL driver to make it, and the server keeps it, as a
// desktop's does, because it never resets).
int run_pairs(map_watch &watch, const std::string &display, int runs,
              const std::string &minimal_home, const std::string &launcher_home,
              std::vector<sample> &minimal_samples, std::vector<sample> &launcher_samples,
              std::string &error)
{
    for (int i = -1; i < runs; i++) {
        bool launcher_first = i % 2 != 0;
        for (int k = 0; k < 2; k++) {
            bool is_launcher = (k == 0) == launcher_first;
            sample s;
            if (!run_once(watch, display, is_launcher ? launcher_program : minimal_program,
                          is_launcher ? launcher_home : minimal_home, s, error))
                return 0;
            if (i < 0)
                continue;
            (is_launcher ? launcher_samples : minimal_samples).push_back(s);
            fprintf(stderr, "%-8s run %2d: mapped after %7.1f ms, peak RSS %6.1f MiB, CPU %6.1f ms\n",
                    is_launcher ? "launcher" : "minimal", i + 1, s.map_ms, s.max_rss_mib, s.cpu_ms);
        }
    }
    return 1;
}

// Both programs `state.range(0)` times each on one private Xvfb: the medians, and the launcher's
// figures over the minimal program's.
void BM_window_startup(benchmark::State &state)
{
    signal(SIGINT, stop_on_signal);
    signal(SIGTERM, stop_on_signal);
    private_server server;
    if (server.name().empty()) {
        state.SkipWithError("Xvfb could not be started");
        return;
    }
    map_watch watch(server.name());
    if (!watch.ok()) {
        state.SkipWithError("cannot connect to the private X server");
        return;
    }
    throwaway_home minimal_home, launcher_home;
    if (minimal_home.path().empty() || launcher_home.path().empty()) {
        state.SkipWithError("cannot make a throw-away HOME");
        return;
    }
    const int runs = int(state.range(0));
    std::vector<sample> minimal_samples, launcher_samples;

    for (auto _ : state) {
        std::string error;
        if (!run_pairs(watch, server.name(), runs, minimal_home.path(), launcher_home.path(),
                       minimal_samples, launcher_samples, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    if (minimal_samples.empty() || launcher_samples.empty())
        return;

    auto figure = [](const std::vector<sample> &samples, double sample::*field) {
        std::vector<double> values;
        for (const sample &s : samples)
            values.push_back(s.*field);
        return median(values);
    };
    double minimal_map = figure(minimal_samples, &sample::map_ms);
    double launcher_map = figure(launcher_samples, &sample::map_ms);
    double minimal_rss = figure(minimal_samples, &sample::max_rss_mib);
    double launcher_rss = figure(launcher_samples, &sample::max_rss_mib);
    state.counters["minimal_map_ms"] = minimal_map;
    state.counters["launcher_map_ms"] = launcher_map;
    state.counters["map_ratio"] = launcher_map / minimal_map;
    state.counters["minimal_rss_MiB"] = minimal_rss;
    state.counters["launcher_rss_MiB"] = launcher_rss;
    state.counters["rss_ratio"] = launcher_rss / minimal_rss;
    state.counters["minimal_cpu_ms"] = figure(minimal_samples, &sample::cpu_ms);
    state.counters["launcher_cpu_ms"] = figure(launcher_samples, &sample::cpu_ms);
}

} // namespace

BENCHMARK(BM_window_startup)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
