#include "console/Log.h"

#include <atomic>

#include "console/Console.h"

namespace feedcat {
namespace {

// Set by the main thread before other threads start; read by any.
std::atomic<int> gLevel{static_cast<int>(LogLevel::kInfo)};

}  // namespace

void SetLogLevel(LogLevel level) {
    gLevel.store(static_cast<int>(level), std::memory_order_relaxed);
}

bool LogShows(LogLevel level) {
    return level != LogLevel::kQuiet &&
           static_cast<int>(level) <= gLevel.load(std::memory_order_relaxed);
}

void Log(LogLevel level, const std::string& message) {
    if (LogShows(level)) {
        ConsoleLine("feedcat: " + message);
    }
}

// feedcat's own warnings say what became of the user's sources: they show at every level
// but quiet, error included. FFmpeg's warnings follow the level like its other messages.
void LogWarning(const std::string& message) {
    if (gLevel.load(std::memory_order_relaxed) != static_cast<int>(LogLevel::kQuiet)) {
        ConsoleLine("feedcat: warning: " + message);
    }
}

}  // namespace feedcat
