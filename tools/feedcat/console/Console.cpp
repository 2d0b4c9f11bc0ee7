#include "console/Console.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace feedcat {
namespace {

std::mutex gMutex;
std::size_t gStatusWidth = 0;  // characters of the status line on screen; 0: none. gMutex.

void EraseLocked() {
    if (gStatusWidth > 0) {
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(gStatusWidth), "");
        gStatusWidth = 0;
    }
}

}  // namespace

void ConsoleLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(gMutex);
    EraseLocked();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void ConsoleStatus(const std::string& text) {
    std::lock_guard<std::mutex> lock(gMutex);
    std::fprintf(stderr, "\r%s", text.c_str());
    // A shorter line leaves the end of the longer one before it: blank it.
    if (text.size() < gStatusWidth) {
        std::fprintf(stderr, "%*s", static_cast<int>(gStatusWidth - text.size()), "");
    }
    gStatusWidth = std::max(gStatusWidth, text.size());
    std::fflush(stderr);
}

void ConsoleEraseStatus() {
    std::lock_guard<std::mutex> lock(gMutex);
    EraseLocked();
    std::fflush(stderr);
}

}  // namespace feedcat
