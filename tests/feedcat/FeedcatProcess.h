// Runs the built feedcat binary in a scratch folder and collects its status and output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace feedcat_test {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal when killed
    std::string out;
    std::string err;
    long peakResidentKb = 0;  // the process's largest resident memory
};

// A fresh folder, removed with everything in it when the object goes.
using ScratchFolder = support::ScratchFolder;

// feedcat's command line for execv, built before a fork so that the child only has to run it.
class FeedcatCommandLine {
  public:
    explicit FeedcatCommandLine(const std::vector<std::string>& args);
    FeedcatCommandLine(const FeedcatCommandLine&) = delete;
    FeedcatCommandLine& operator=(const FeedcatCommandLine&) = delete;

    // In the forked child: runs feedcat in place of the child, or ends it with status 127.
    [[noreturn]] void Exec();

  private:
    std::vector<std::string> all_;  // the binary, then the arguments
    std::vector<char*> argv_;       // points into all_, null-terminated
};

class FeedcatProcess {
  public:
    // Starts feedcat with args, in folder, with standard output and error going to files there
    // (named after tag, so that processes running at once in one folder keep theirs apart).
    FeedcatProcess(const std::vector<std::string>& args, const ScratchFolder& folder,
                   const std::string& tag = "");
    ~FeedcatProcess();
    FeedcatProcess(const FeedcatProcess&) = delete;
    FeedcatProcess& operator=(const FeedcatProcess&) = delete;

    void Signal(int number);
    // Waits (up to 30 s) until the process catches signal `number`: from then on it is feedcat's
    // to handle, not the default action's. False when it never did.
    bool WaitUntilCatching(int number);
    ProcessResult Wait();
    // As Wait, but a feedcat still running after patience is killed (status 137).
    ProcessResult WaitAtMost(std::chrono::milliseconds patience);

  private:
    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
};

ProcessResult RunFeedcat(const std::vector<std::string>& args, const ScratchFolder& folder);

bool FileExists(const std::string& path);

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

}  // namespace feedcat_test
