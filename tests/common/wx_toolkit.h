// The toolkit for unit tests that need it (bitmaps, device contexts, fonts): a gtest environment
// that starts wx on the private X server, with an assert handler that logs and counts.
#pragma once

#include "tests/common/xvfb.h"

#include <wx/app.h>
#include <wx/init.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace test_util {

// Toolkit assertions seen so far; a test can check that its calls raised none.
inline std::atomic<int> &toolkit_assert_count()
{
    static std::atomic<int> count{0};
    return count;
}

// Registered with ::testing::AddGlobalTestEnvironment; SetUp fails the program's tests when no
// display or toolkit can be had.
class wx_toolkit_environment : public ::testing::Environment {
public:
    void SetUp() override
    {
        wxSetAssertHandler(&wx_toolkit_environment::on_assert);
        const std::string &display = private_display();
        ASSERT_FALSE(display.empty()) << "Xvfb could not be started";
        setenv("DISPLAY", display.c_str(), 1);
        // No accessibility bus: GTK would look for one over D-Bus and keep what it allocated.
        setenv("NO_AT_BRIDGE", "1", 1);
        static char name[] = "test";
        static char *argv[] = {name, nullptr};
        int argc = 1;
        wxApp::SetInstance(new wxApp);
        started_ = wxEntryStart(argc, argv);
        ASSERT_TRUE(started_) << "the toolkit did not start on " << display;
        ASSERT_TRUE(wxTheApp->CallOnInit());
    }

    void TearDown() override
    {
        if (started_)
            wxEntryCleanup();
        started_ = false;
    }

private:
    static void on_assert(const wxString &file, int line, const wxString &function,
                          const wxString &condition, const wxString &message)
    {
        toolkit_assert_count()++;
        fprintf(stderr, "toolkit assertion %s:%d %s: %s %s\n",
                static_cast<const char *>(file.To8BitData()), line,
                static_cast<const char *>(function.To8BitData()),
                static_cast<const char *>(condition.To8BitData()),
                static_cast<const char *>(message.To8BitData()));
    }

    bool started_ = false;
};

} // namespace test_util
