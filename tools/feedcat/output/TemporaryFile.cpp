#include "output/TemporaryFile.h"

#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "console/HeldSignals.h"

namespace feedcat {
namespace {

// The file a forced exit removes. Written only while gArmed is 0, then armed; the signal handler
// reads it only while armed, so it never sees a half-written name.
char gPath[PATH_MAX + 64];
volatile sig_atomic_t gArmed = 0;

void Arm(const std::string& path) {
    if (path.size() >= sizeof(gPath)) {
        return;  // too long to keep; such a file is removed by the normal paths only
    }
    gArmed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(gPath, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    gArmed = 1;
}

void Disarm() {
    gArmed = 0;
}

// "dir/name.mp4" -> "dir/.name.mp4.feedcat-XXXXXX.mp4": the name ends as the output's does,
// for muxers that look at it (the iPod one warns about any other than .m4a and .m4v).
std::string TemporaryPattern(const std::string& path, std::size_t* suffixLength) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    *suffixLength = extension.size();
    return folder + "." + name + ".feedcat-XXXXXX" + extension;
}

}  // namespace

void RemoveTemporaryFileNow() {
    if (gArmed) {
        unlink(gPath);
    }
}

TemporaryFile::~TemporaryFile() {
    Remove();
}

bool TemporaryFile::Create(const std::string& output, std::string* error) {
    output_ = output;
    std::size_t suffixLength = 0;
    const std::string pattern = TemporaryPattern(output, &suffixLength);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = -1;
    int savedErrno = 0;
    {
        // SIGINT and SIGTERM wait until the file is known to the handler.
        const HeldSignals held;
        fd = mkstemps(name.data(), static_cast<int>(suffixLength));
        savedErrno = errno;
        if (fd >= 0) {
            path_ = name.data();
            Arm(path_);
        }
    }
    if (fd < 0) {
        *error = "cannot write '" + output + "': " + std::strerror(savedErrno);
        return false;
    }
    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return true;
}

bool TemporaryFile::Keep(bool replace, std::string* error) {
    if (path_.empty()) {
        return false;
    }
    // Without replacing, link() refuses an existing name in the same step that claims it.
    const int moved = replace ? std::rename(path_.c_str(), output_.c_str())
                              : link(path_.c_str(), output_.c_str());
    if (moved != 0) {
        const int savedErrno = errno;
        *error = "cannot write '" + output_ + "': " +
                 (savedErrno == EEXIST ? std::string("it exists (and -n was given)")
                                       : std::string(std::strerror(savedErrno)));
        Remove();
        return false;
    }
    if (!replace) {
        unlink(path_.c_str());
    }
    Disarm();
    path_.clear();
    return true;
}

void TemporaryFile::Remove() {
    if (!path_.empty()) {
        unlink(path_.c_str());
        Disarm();
        path_.clear();
    }
}

}  // namespace feedcat
