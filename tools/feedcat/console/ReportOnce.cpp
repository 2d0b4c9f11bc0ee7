#include "console/ReportOnce.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "console/HeldSignals.h"

namespace feedcat {
namespace {

// Big enough for a summary with a few warnings; a longer one is not prepared, and a second
// signal then prints nothing.
constexpr std::size_t kMostPrepared = 16384;

std::atomic<bool> gWritten{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler claims it");
// Written by the main thread while signals are held back; read by the handler.
char gOnInterrupt[kMostPrepared];
char gOnTerminate[kMostPrepared];

void Store(const std::string& text, char* into) {
    if (text.size() + 2 > kMostPrepared) {
        into[0] = '\0';
        return;
    }
    std::memcpy(into, text.c_str(), text.size());
    into[text.size()] = '\n';
    into[text.size() + 1] = '\0';
}

// Every byte, however the pipe takes them. Async-signal-safe.
bool WriteAll(const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = write(STDOUT_FILENO, bytes, length);
        if (written <= 0) {
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

void PrepareSignalReports(const std::string& onInterrupt, const std::string& onTerminate) {
    const HeldSignals held;
    Store(onInterrupt, gOnInterrupt);
    Store(onTerminate, gOnTerminate);
}

bool WriteReportOnce(const std::string& text) {
    if (gWritten.exchange(true)) {
        return false;
    }
    const std::string line = text + "\n";
    WriteAll(line.data(), line.size());
    return true;
}

void WritePreparedReport(int signal) {
    const char* prepared = signal == SIGINT ? gOnInterrupt : gOnTerminate;
    if (prepared[0] != '\0' && !gWritten.exchange(true)) {
        WriteAll(prepared, std::strlen(prepared));
    }
}

}  // namespace feedcat
