// A private X server for the tests that open windows: one Xvfb per test program.
#pragma once

#include <string>

namespace test_util {

// Starts Xvfb on a free display number (first call only) and returns its name, ":N"; empty when
// Xvfb cannot be started. The server is stopped by its PID when the test program exits.
const std::string &private_display();

} // namespace test_util
