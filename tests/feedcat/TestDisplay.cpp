#include "TestDisplay.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

namespace feedcat_test {
namespace {

// Xvfb writes its display number here once it takes connections; slow under sanitizers.
constexpr int kServerPatienceMs = 30000;
constexpr auto kLookEvery = std::chrono::milliseconds(50);

// Standard output and error of a child go to /dev/null unless told otherwise.
void Silence(int fd) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, fd);
        close(null);
    }
}

std::string ReadAll(int fd) {
    std::string text;
    char chunk[65536];
    for (ssize_t got; (got = read(fd, chunk, sizeof(chunk))) != 0;) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// A binary PPM (P6, 8 bits) into shot.
bool ReadPpm(const std::string& data, Screenshot* shot) {
    std::istringstream in(data);
    std::string magic;
    int maximum = 0;
    in >> magic >> shot->width >> shot->height >> maximum;
    if (magic != "P6" || maximum != 255 || shot->width <= 0 || shot->height <= 0) {
        return false;
    }
    in.get();  // the one whitespace before the pixels
    const std::size_t bytes = static_cast<std::size_t>(shot->width) * shot->height * 3;
    const std::size_t at = static_cast<std::size_t>(in.tellg());
    if (data.size() < at + bytes) {
        return false;
    }
    shot->rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + bytes));
    return true;
}

}  // namespace

std::uint32_t Screenshot::At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return (static_cast<std::uint32_t>(rgb[at]) << 16) | (rgb[at + 1] << 8) | rgb[at + 2];
}

TestDisplay::TestDisplay() {
    int ends[2];
    if (pipe(ends) != 0) {
        failure_ = "no pipe for Xvfb";
        return;
    }
    server_ = fork();
    if (server_ == 0) {
        close(ends[0]);
        Silence(STDOUT_FILENO);
        Silence(STDERR_FILENO);
        std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(ends[1]),
                                         "-screen",   "0",          "1024x768x24",
                                         "-nolisten", "tcp",        "-noreset"};
        execvp("Xvfb", Argv(args).data());
        _exit(127);
    }
    close(ends[1]);
    std::string number;
    pollfd entry{ends[0], POLLIN, 0};
    char c = 0;
    while (server_ > 0 && poll(&entry, 1, kServerPatienceMs) == 1 && read(ends[0], &c, 1) == 1 &&
           c != '\n') {
        number += c;
    }
    close(ends[0]);
    if (number.empty()) {
        failure_ = "Xvfb did not start (Debian's xvfb package provides it)";
        return;
    }
    name_ = ":" + number;
}

TestDisplay::~TestDisplay() {
    if (server_ > 0) {
        kill(server_, SIGTERM);
        waitpid(server_, nullptr, 0);
    }
}

int TestDisplay::Tool(const std::vector<std::string>& args, std::string* out) const {
    int ends[2];
    if (pipe(ends) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        dup2(ends[1], STDOUT_FILENO);
        close(ends[1]);
        Silence(STDERR_FILENO);
        setenv("DISPLAY", name_.c_str(), 1);
        std::vector<std::string> copy = args;
        execvp(copy[0].c_str(), Argv(copy).data());
        _exit(127);
    }
    close(ends[1]);
    *out = ReadAll(ends[0]);
    close(ends[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

unsigned long TestDisplay::FindWindow(const std::string& prefix,
                                      std::chrono::milliseconds patience) const {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    do {
        std::string out;
        if (Tool({"xdotool", "search", "--name", "^" + prefix}, &out) == 0 && !out.empty()) {
            return std::strtoul(out.c_str(), nullptr, 10);
        }
        std::this_thread::sleep_for(kLookEvery);
    } while (std::chrono::steady_clock::now() < deadline);
    return 0;
}

std::string TestDisplay::Title(unsigned long window) const {
    std::string out;
    if (Tool({"xdotool", "getwindowname", std::to_string(window)}, &out) != 0) {
        return "";
    }
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

bool TestDisplay::PressKey(unsigned long window, const std::string& key) const {
    std::string out;
    return Tool({"xdotool", "key", "--window", std::to_string(window), key}, &out) == 0;
}

bool TestDisplay::Resize(unsigned long window, int width, int height) const {
    std::string out;
    return Tool({"xdotool", "windowsize", std::to_string(window), std::to_string(width),
                 std::to_string(height)},
                &out) == 0;
}

bool TestDisplay::Capture(unsigned long window, Screenshot* shot) const {
    std::string out;
    return Tool({"import", "-window", std::to_string(window), "-depth", "8", "ppm:-"}, &out) == 0 &&
           ReadPpm(out, shot);
}

bool TestDisplay::Close(unsigned long window) const {
    // xdotool's windowclose destroys the window under its owner's feet: a window manager asks.
    Display* display = XOpenDisplay(name_.c_str());
    if (display == nullptr) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0;
}

}  // namespace feedcat_test
