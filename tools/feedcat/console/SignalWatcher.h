// Turns SIGINT and SIGTERM into something a normal thread can wait for: the handler only
// writes the signal's number into a pipe. The first signal of each kind is caught; a second one
// of the same kind ends the process at once, as killed by that signal, after removing the
// temporary output file (RemoveTemporaryFileNow), so that nothing half-written is left, and
// printing the JSON summary prepared for it (WritePreparedReport). SIGPIPE
// and SIGXFSZ are ignored, so a closed output pipe or a file grown past the size limit
// (`ulimit -f`) shows as a write error instead.
#pragma once

#include <csignal>

namespace feedcat {

class SignalWatcher {
  public:
    SignalWatcher();
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool ok() const { return ok_; }

    // The first signal caught so far (SIGINT when both were), or 0; it is still there for Wait.
    int Caught() const;

    // Waits up to timeoutMs for a signal; returns its number, or 0 when none came.
    int Wait(int timeoutMs);

  private:
    bool ok_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    struct sigaction oldPipe_ {};
    struct sigaction oldFileSize_ {};
};

}  // namespace feedcat
