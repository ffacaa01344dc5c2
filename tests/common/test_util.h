// Helpers shared by the tests: throw-away directories, whole-file I/O, child processes.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

namespace test_util {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole file as bytes; empty when it cannot be read.
std::string read_file(const std::string &path);
// 1 when `path` exists.
bool file_exists(const std::string &path);
// Writes (truncating) and returns true on success.
bool write_file(const std::string &path, const std::string &content, int mode = 0644);
// Permission bits of `path`, or -1.
int file_mode(const std::string &path);
// Removes a tree (rm -rf).
void remove_tree(const std::string &path);

// The lines of `text`, each without its line feed; a last line without one counts too, so
// "a\n\nb" gives {"a", "", "b"} and "" gives none.
std::vector<std::string> lines_of(const std::string &text);
// How many lines of `text` (as lines_of splits it) are exactly `line`.
int count_lines(const std::string &text, const std::string &line);

struct run_result {
    int status = -1;        // exit status, or 128 + signal, or -1 when it could not run / timed out
    std::string out;        // standard output
    std::string err;        // standard error
};

struct run_options {
    std::vector<std::string> env;   // "NAME=value" replacing the child's environment if not empty
    std::vector<std::string> unset; // names removed from the inherited environment (env empty)
    std::vector<std::string> set;   // "NAME=value" added to the inherited environment (env empty)
    std::string cwd;                // working directory, or the current one
    bool close_stdin = false;       // start the child with descriptor 0 closed
    double timeout_seconds = 60;    // killed (SIGKILL, by PID) after this
};

// Runs argv[0] (searched on PATH) with the arguments and waits for it, collecting its output.
run_result run(const std::vector<std::string> &argv, const run_options &options = {});

// A child started in the background; stopped by PID (SIGTERM, then SIGKILL) on destruction.
class child_process {
public:
    child_process(const std::vector<std::string> &argv, const run_options &options = {});
    ~child_process();
    child_process(const child_process &) = delete;
    child_process &operator=(const child_process &) = delete;
    pid_t pid() const { return pid_; }
    // Waits up to `seconds` for the child to end; its status as run_result::status, or -1.
    int wait(double seconds);
    bool running();
    void stop();

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Polls `condition` every 10 ms until it is true or `seconds` have passed; returns its last value.
template <class F> bool wait_until(F condition, double seconds);
bool wait_until_impl(bool (*probe)(void *), void *context, double seconds);
template <class F> bool wait_until(F condition, double seconds)
{
    return wait_until_impl([](void *c) { return (*static_cast<F *>(c))(); }, &condition, seconds);
}

} // namespace test_util
