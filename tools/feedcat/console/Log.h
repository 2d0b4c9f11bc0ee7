// feedcat's messages on standard error, each line starting "feedcat: ", shown when their level
// is within the level set with -v/--loglevel (info by default). Any thread.
#pragma once

#include <string>

namespace feedcat {

// How much feedcat says on standard error, by FFmpeg's level names and numbers.
enum class LogLevel : int {
    kQuiet = -8,
    kError = 16,
    kWarning = 24,
    kInfo = 32,
    kVerbose = 40,
    kDebug = 48,
    kTrace = 56,
};

void SetLogLevel(LogLevel level);

// Whether a message of this level is shown.
bool LogShows(LogLevel level);

// "feedcat: message", at level.
void Log(LogLevel level, const std::string& message);

// "feedcat: warning: message".
void LogWarning(const std::string& message);

inline void LogError(const std::string& message) {
    Log(LogLevel::kError, message);
}

}  // namespace feedcat
