// Driving and looking at windows on the private X server: xdotool, and screenshots via xwd.
#pragma once

#include "tests/common/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace e2e {

struct rgb {
    int r, g, b;
};

// A screenshot of the whole screen, three bytes a pixel.
struct screenshot {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    bool ok() const { return width > 0 && pixels.size() == size_t(width) * height * 3; }
    rgb at(int x, int y) const
    {
        size_t i = (size_t(y) * width + x) * 3;
        return {pixels[i], pixels[i + 1], pixels[i + 2]};
    }
};

inline test_util::run_result x_command(const std::string &display, const std::string &command)
{
    test_util::run_options o;
    o.set = {"DISPLAY=" + display};
    o.timeout_seconds = 30;
    return test_util::run({"sh", "-c", command}, o);
}

// The id of the visible window titled `title`, waiting up to `seconds`; empty when none shows.
inline std::string find_window(const std::string &display, const std::string &title,
                               int seconds = 20)
{
    test_util::run_result r = x_command(
        display, "timeout " + std::to_string(seconds) + " xdotool search --sync --onlyvisible --name '^" +
                     title + "$' | head -n 1");
    std::string id = r.out;
    while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
        id.pop_back();
    return id;
}

// Gives the window the keyboard focus and types `keys` (xdotool key names).
inline bool press_keys(const std::string &display, const std::string &window, const std::string &keys)
{
    return x_command(display, "xdotool windowfocus --sync " + window + " && xdotool key " + keys)
               .status == 0;
}

// "x y width height" of the window, from xdotool.
inline std::vector<int> window_geometry(const std::string &display, const std::string &window)
{
    test_util::run_result r =
        x_command(display, "xdotool getwindowgeometry --shell " + window);
    std::vector<int> g;
    for (const char *key : {"X=", "Y=", "WIDTH=", "HEIGHT="}) {
        size_t at = r.out.find(key);
        g.push_back(at == std::string::npos ? -1 : std::stoi(r.out.substr(at + strlen(key))));
    }
    return g;
}

inline screenshot take_screenshot(const std::string &display)
{
    screenshot shot;
    test_util::run_result size = x_command(display, "xdpyinfo | awk '/dimensions:/ {print $2}'");
    if (sscanf(size.out.c_str(), "%dx%d", &shot.width, &shot.height) != 2)
        return {};
    test_util::run_result r =
        x_command(display, "xwd -root -silent | convert xwd:- -depth 8 rgb:-");
    if (r.status != 0)
        return {};
    shot.pixels.assign(r.out.begin(), r.out.end());
    return shot;
}

} // namespace e2e
