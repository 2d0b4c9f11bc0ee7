// Threads named by their role, as `top -H`, `ps -L`, debuggers and /proc/PID/task/*/comm show
// them, so that a program can tell what each part costs. FFmpeg's codecs start their worker
// threads unnamed: they take the name of the thread that opens the codec, which
// NameForNewThreads sets for the while.
#pragma once

#include <string>

namespace media {

// Names the calling thread; 15 characters are kept. Does nothing where threads have no names.
void NameThisThread(const char* name);

// While it lives, the calling thread is named `name` (so the threads it starts are too); its
// own name is restored afterwards.
class NameForNewThreads {
  public:
    explicit NameForNewThreads(const char* name);
    ~NameForNewThreads();
    NameForNewThreads(const NameForNewThreads&) = delete;
    NameForNewThreads& operator=(const NameForNewThreads&) = delete;

  private:
    std::string previous_;
};

}  // namespace media
