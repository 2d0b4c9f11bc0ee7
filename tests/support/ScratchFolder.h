// A fresh folder for a test's files, removed with everything in it when the object goes.
#pragma once

#include <string>
#include <vector>

namespace support {

class ScratchFolder {
  public:
    // Made under $TMPDIR (or /tmp) as <prefix>-XXXXXX; path() is empty when that failed.
    explicit ScratchFolder(const std::string& prefix = "feed-test");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // The names in the folder (not "." and ".."), in no particular order.
    std::vector<std::string> Entries() const;
    // Copies the file at `from` into the folder as `name`; its path, or "" when the copy failed.
    std::string CopyIn(const std::string& from, const std::string& name) const;

  private:
    std::string path_;
};

}  // namespace support
