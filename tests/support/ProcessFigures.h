// What the process holds right now, read from /proc/self: threads, open file handles and
// resident memory. The stress tests compare these before and after a run, the open-file bound
// test its file handles while a session plays.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

#include "tests/support/Sanitizers.h"
#include "tests/support/Waiting.h"

namespace figures {

// Under the sanitizers resident memory says nothing about leaks: AddressSanitizer keeps freed
// blocks in its quarantine (up to 256 MB), ThreadSanitizer keeps the shadow of every address
// once touched. LeakSanitizer checks for leaks when the process ends instead.
constexpr bool kResidentMemoryTellsLeaks = !support::kUnderSanitizer;

inline int CountEntries(const char* folder) {
    int count = 0;
    if (DIR* dir = opendir(folder)) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            count += name != "." && name != ".." ? 1 : 0;
        }
        closedir(dir);
    }
    return count;
}

inline int Threads() {
    return CountEntries("/proc/self/task");
}

// Includes the handle of the folder listing itself, the same in every reading.
inline int OpenFiles() {
    return CountEntries("/proc/self/fd");
}

inline std::int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0;
    std::int64_t resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct Snapshot {
    int threads = 0;
    int files = 0;
    std::int64_t residentBytes = 0;
};

inline Snapshot Take() {
    return Snapshot{Threads(), OpenFiles(), ResidentBytes()};
}

// Threads the library joins may take a moment to leave /proc once joined; wait for the count
// to come down to at most `threads` and return the last reading.
inline Snapshot TakeSettled(int threads,
                            std::chrono::milliseconds patience = std::chrono::seconds(5)) {
    Snapshot now;
    support::Eventually(
        [&] {
            now = Take();
            return now.threads <= threads;
        },
        patience, std::chrono::milliseconds(5));
    return now;
}

inline std::ostream& operator<<(std::ostream& out, const Snapshot& s) {
    return out << s.threads << " threads, " << s.files << " fds, "
               << (s.residentBytes + 512 * 1024) / (1024 * 1024) << " MiB resident";
}

}  // namespace figures
