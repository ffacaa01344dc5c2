// A throw-away HOME for runs of the real launcher binary on the private X server.
#pragma once

#include "tests/common/test_util.h"
#include "tests/common/xvfb.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace e2e {

class launcher_home {
public:
    launcher_home() : config_(home_ / ".Morvelle") {}

    const std::string &home() const { return home_.path(); }
    const std::string &config_dir() const { return config_; }
    std::string config(const std::string &name) const { return config_ + "/" + name; }
    std::string log_path() const { return config("pelter_launcher_log.txt"); }
    std::string log() const { return test_util::read_file(log_path()); }

    // Options for a launcher child: this HOME, the private display, and `extra` on top.
    test_util::run_options options(std::vector<std::string> extra = {}) const
    {
        test_util::run_options o;
        o.set = {"HOME=" + home(), "DISPLAY=" + test_util::private_display()};
        for (auto &e : extra)
            o.set.push_back(e);
        o.cwd = home();
        o.timeout_seconds = 60;
        return o;
    }

    // Runs the launcher with `arguments` and waits for it to end.
    test_util::run_result run(const std::vector<std::string> &arguments,
                              const test_util::run_options &o) const
    {
        std::vector<std::string> argv = {MORVELLE_LAUNCHER_BINARY};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return test_util::run(argv, o);
    }
    test_util::run_result run(const std::vector<std::string> &arguments = {}) const
    {
        return run(arguments, options());
    }

private:
    test_util::temp_dir home_;
    std::string config_;
};

// The tests name it as e2e's own.
using test_util::count_lines;

// True when `wanted` appear in `text` as whole lines, in this order (other lines may come between).
inline ::testing::AssertionResult has_lines_in_order(const std::string &text,
                                                     const std::vector<std::string> &wanted)
{
    std::vector<std::string> lines = test_util::lines_of(text);
    size_t at = 0;
    for (const auto &w : wanted) {
        while (at < lines.size() && lines[at] != w)
            at++;
        if (at == lines.size())
            return ::testing::AssertionFailure() << "missing line '" << w << "' in:\n" << text;
        at++;
    }
    return ::testing::AssertionSuccess();
}

} // namespace e2e
