#include "console/SignalWatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "console/ReportOnce.h"
#include "output/TemporaryFile.h"

namespace feedcat {
namespace {

// The pipe's ends; the handler may use only async-signal-safe calls, so they are plain ints.
volatile sig_atomic_t gWriteEnd = -1;
int gReadEnd = -1;
// Whether a SIGINT or a SIGTERM has been caught already; written by the handler only (on
// whichever thread it runs), read by the main thread too. Lock-free, so the handler may.
std::atomic<int> gCaughtInt{0};
std::atomic<int> gCaughtTerm{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler sets them");

extern "C" void OnSignal(int signal) {
    const int savedErrno = errno;
    std::atomic<int>& caught = signal == SIGINT ? gCaughtInt : gCaughtTerm;
    if (caught.exchange(1) != 0) {
        RemoveTemporaryFileNow();
        WritePreparedReport(signal);
        // The default action, raised again: it arrives when this handler returns (the signal is
        // blocked while it runs) and ends the process as killed by the signal.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signal, &fallback, nullptr);
        raise(signal);
        errno = savedErrno;
        return;
    }
    const unsigned char number = static_cast<unsigned char>(signal);
    if (gWriteEnd >= 0) {
        // A full pipe already holds a wake-up; losing this byte loses nothing.
        [[maybe_unused]] const ssize_t written = write(gWriteEnd, &number, 1);
    }
    errno = savedErrno;
}

}  // namespace

SignalWatcher::SignalWatcher() {
    int ends[2] = {-1, -1};
    if (pipe(ends) != 0) {
        return;
    }
    for (int end : ends) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    gReadEnd = ends[0];
    gWriteEnd = ends[1];

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &oldPipe_);
    sigaction(SIGXFSZ, &ignore, &oldFileSize_);
    ok_ = true;
}

SignalWatcher::~SignalWatcher() {
    if (!ok_) {
        return;
    }
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    sigaction(SIGPIPE, &oldPipe_, nullptr);
    sigaction(SIGXFSZ, &oldFileSize_, nullptr);
    const int writeEnd = gWriteEnd;
    gWriteEnd = -1;
    close(writeEnd);
    close(gReadEnd);
    gReadEnd = -1;
}

int SignalWatcher::Caught() const {
    if (!ok_) {
        return 0;
    }
    return gCaughtInt.load() != 0 ? SIGINT : (gCaughtTerm.load() != 0 ? SIGTERM : 0);
}

int SignalWatcher::Wait(int timeoutMs) {
    if (!ok_) {
        return 0;
    }
    pollfd entry{gReadEnd, POLLIN, 0};
    const int ready = poll(&entry, 1, timeoutMs);
    if (ready <= 0) {
        return 0;
    }
    unsigned char number = 0;
    if (read(gReadEnd, &number, 1) == 1) {
        return number;
    }
    return 0;
}

}  // namespace feedcat
