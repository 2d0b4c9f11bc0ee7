// An X server of the test's own (Xvfb, on whichever display number is free), and what a user
// does on it through the usual tools: find a window, read its title, press keys (xdotool), take
// a screenshot (ImageMagick's import), close the window as a window manager would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace feedcat_test {

// An RGB picture, rows top-down.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    // The pixel at x, y as 0xRRGGBB.
    std::uint32_t At(int x, int y) const;
};

class TestDisplay {
  public:
    // Starts Xvfb; ok() tells whether it came up, failure() why not.
    TestDisplay();
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;

    bool ok() const { return !name_.empty(); }
    const std::string& failure() const { return failure_; }
    // ":N", for DISPLAY.
    const std::string& name() const { return name_; }

    // The first window whose title starts with prefix; 0 when none shows within patience.
    unsigned long FindWindow(const std::string& prefix, std::chrono::milliseconds patience) const;
    // Its title; "" once it is gone.
    std::string Title(unsigned long window) const;
    // Presses and releases a key (an X key name: space, q, Escape) in the window.
    bool PressKey(unsigned long window, const std::string& key) const;
    bool Resize(unsigned long window, int width, int height) const;
    // The window's picture; false when it cannot be taken.
    bool Capture(unsigned long window, Screenshot* shot) const;
    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    bool Close(unsigned long window) const;

  private:
    // Runs a tool on this display; its exit status, and its standard output into *out.
    int Tool(const std::vector<std::string>& args, std::string* out) const;

    pid_t server_ = -1;
    std::string name_;
    std::string failure_;
};

}  // namespace feedcat_test
