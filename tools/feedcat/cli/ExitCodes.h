// feedcat's exit statuses (listed in --help and in the README).
#pragma once

#include <csignal>

namespace feedcat {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;        // a run that started or was about to start went wrong
constexpr int kExitUsage = 2;          // bad command line or output; nothing was written
constexpr int kExitInterrupted = 130;  // SIGINT: stopped early, the file holds what came so far
constexpr int kExitTerminated = 143;   // SIGTERM: as SIGINT

// The status of a run stopped by signal (SIGINT or SIGTERM).
constexpr int SignalStatus(int signal) {
    return signal == SIGINT ? kExitInterrupted : kExitTerminated;
}

}  // namespace feedcat
