// What the process holds right now, read from /proc/self: threads, open file handles and
// resident memory. The stress and hostile-input tests compare these before and after a run.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>

namespace figures {

// Under the sanitizers resident memory says nothing about leaks: AddressSanitizer keeps freed
// blocks in its quarantine (up to 256 MB), ThreadSanitizer keeps the shadow of every address
// once touched. LeakSanitizer checks for leaks when the process ends instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentMemoryTellsLeaks = false;
#else
constexpr bool kResidentMemoryTellsLeaks = true;
#endif

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
    const auto until = std::chrono::steady_clock::now() + patience;
    Snapshot now = Take();
    while (now.threads > threads && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        now = Take();
    }
    return now;
}

inline std::ostream& operator<<(std::ostream& out, const Snapshot& s) {
    return out << s.threads << " threads, " << s.files << " fds, "
               << (s.residentBytes + 512 * 1024) / (1024 * 1024) << " MiB resident";
}

}  // namespace figures
