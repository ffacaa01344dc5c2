// Sends the process's debug log to a throw-away file for the life of one object, so that a test
// can read back what report_error and log_printf wrote.
#pragma once

#include "support/debug_log.h"
#include "tests/common/test_util.h"

#include <string>

namespace test_util {

class log_capture {
public:
    // `level` becomes log_level while the capture lives (3 also shows tracing reports).
    explicit log_capture(int level = 1) : old_level_(log_level)
    {
        path_ = dir_ / "log.txt";
        close_log();
        tavi_client_set_debug_logfile_name(path_.c_str());
        tavi_client_try_open_debug_logfile();
        log_level = level;
    }
    ~log_capture()
    {
        close_log();
        log_level = old_level_;
    }
    log_capture(const log_capture &) = delete;
    log_capture &operator=(const log_capture &) = delete;

    // Everything written since the capture began (or since the last clear()).
    std::string text() const { return read_file(path_); }
    void clear() { write_file(path_, ""); }
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
    // Closing a log that is not open is itself reported, which would open one on standard output.
    static void close_log()
    {
        if (tavi_client_debug_logfile_is_open())
            tavi_client_debug_logfile_close();
    }

    temp_dir dir_;
    std::string path_;
    int old_level_;
};

} // namespace test_util
