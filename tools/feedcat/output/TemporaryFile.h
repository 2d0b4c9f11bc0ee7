// The hidden file an output is written under ("dir/.name.mp4.feedcat-XXXXXX.mp4"), beside the
// output so that moving it into place is one rename. It is removed when the run does not keep
// it, and also when a second signal ends feedcat at once: the signal handler calls
// RemoveTemporaryFileNow. One at a time per process.
#pragma once

#include <string>

namespace feedcat {

class TemporaryFile {
  public:
    TemporaryFile() = default;
    ~TemporaryFile();  // removes the file unless it was kept
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file for output (with the mode a plain create would give). Call it while
    // the calling thread is the only one that takes SIGINT and SIGTERM (feedcat's main thread
    // before the session starts), so that no signal finds the file created but not yet known.
    bool Create(const std::string& output, std::string* error);

    const std::string& path() const { return path_; }

    // Moves the file into place as the output: replacing a file of that name, or with replace
    // false failing when one exists. False with a reason; the file is then removed.
    bool Keep(bool replace, std::string* error);

    // Removes the file now (if there is one).
    void Remove();

  private:
    std::string output_;
    std::string path_;  // empty once kept or removed
};

// Removes the temporary file being written, if any. Async-signal-safe.
void RemoveTemporaryFileNow();

}  // namespace feedcat
