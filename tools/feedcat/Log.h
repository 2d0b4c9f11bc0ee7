// feedcat's messages on standard error, each line starting "feedcat: ", shown when their level
// is within the level set with -v/--loglevel (info by default). Any thread.
#pragma once

#include <string>

#include "LogLevel.h"

namespace feedcat {

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
