// Telling apart what each of feedcat's threads costs: threads named by their role (as top -H,
// ps -L and /proc/PID/task/*/comm show them) and a thread's own CPU time.
#pragma once

#include <cstdint>
#include <string>

namespace feedcat {

// Names the calling thread (15 characters at most are kept).
void NameThisThread(const char* name);

// The calling thread's CPU time so far, in nanoseconds.
std::int64_t ThisThreadCpuNs();

// While it lives, threads that the calling thread creates (a codec's worker threads, which
// take their creator's name) are named name; the caller's own name is then restored.
class NameForNewThreads {
  public:
    explicit NameForNewThreads(const char* name);
    ~NameForNewThreads();
    NameForNewThreads(const NameForNewThreads&) = delete;
    NameForNewThreads& operator=(const NameForNewThreads&) = delete;

  private:
    std::string previous_;
};

}  // namespace feedcat
