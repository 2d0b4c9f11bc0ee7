// How much feedcat says on standard error, by FFmpeg's level names and numbers.
#pragma once

namespace feedcat {

enum class LogLevel : int {
    kQuiet = -8,
    kError = 16,
    kWarning = 24,
    kInfo = 32,
    kVerbose = 40,
    kDebug = 48,
    kTrace = 56,
};

}  // namespace feedcat
