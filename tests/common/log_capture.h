// Sends the process's debug log to a throw-away file for the life of one object, so that a test
// can read back what report_error and log_printf wrote.
#pragma once

#include "support/debug_log.h"
#include "tests/common/test_util.h"

#include <string>
#include <vector>

namespace test_util {

// Sends the debug log to `path` (appending) and sets log_level to `level`, for good: meant for a
// forked child, whose log lives until it ends. The log's own "opened" trace line stays out.
inline void log_to(const std::string &path, int level)
{
    // Closing a log that is not open is itself reported, which would open one on standard output.
    if (tavi_client_debug_logfile_is_open())
        tavi_client_debug_logfile_close();
    tavi_client_set_debug_logfile_name(path.c_str());
    log_level = 1;
    tavi_client_try_open_debug_logfile();
    log_level = level;
}

class log_capture {
public:
    // `level` becomes log_level while the capture lives (3 also shows tracing reports).
    explicit log_capture(int level = 1) : old_level_(log_level)
    {
        path_ = dir_ / "log.txt";
        log_to(path_, level);
    }
    ~log_capture()
    {
        if (tavi_client_debug_logfile_is_open())
            tavi_client_debug_logfile_close();
        log_level = old_level_;
    }
    log_capture(const log_capture &) = delete;
    log_capture &operator=(const log_capture &) = delete;

    // Everything written since the capture began (or since the last clear()).
    std::string text() const { return read_file(path_); }
    void clear() { write_file(path_, ""); }
    // The captured text split as lines_of splits it.
    std::vector<std::string> lines() const { return lines_of(text()); }
    // How many captured lines are exactly `line`.
    int count(const std::string &line) const { return count_lines(text(), line); }
    // How often `needle` occurs in the captured text.
    int occurrences(const std::string &needle) const
    {
        std::string all = text();
        int n = 0;
        for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1))
            ++n;
        return n;
    }

private:
    temp_dir dir_;
    std::string path_;
    int old_level_;
};

} // namespace test_util
