#include "FeedcatProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace feedcat_test {

FeedcatCommandLine::FeedcatCommandLine(const std::vector<std::string>& args)
    : all_{FEEDCAT_BINARY} {
    all_.insert(all_.end(), args.begin(), args.end());
    for (std::string& arg : all_) {
        argv_.push_back(arg.data());
    }
    argv_.push_back(nullptr);
}

void FeedcatCommandLine::Exec() {
    execv(argv_[0], argv_.data());
    _exit(127);
}

FeedcatProcess::FeedcatProcess(const std::vector<std::string>& args, const ScratchFolder& folder,
                               const std::string& tag)
    : outPath_(folder.File(".stdout" + tag)), errPath_(folder.File(".stderr" + tag)) {
    FeedcatCommandLine command(args);
    pid_ = fork();
    if (pid_ == 0) {
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(folder.path().c_str()) != 0) {
            _exit(127);
        }
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        command.Exec();
    }
}

FeedcatProcess::~FeedcatProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void FeedcatProcess::Signal(int number) {
    if (pid_ > 0) {
        kill(pid_, number);
    }
}

bool FeedcatProcess::WaitUntilCatching(int number) {
    // /proc/PID/status lists the caught signals as a hexadecimal mask: "SigCgt: 0000000000004002".
    const std::string status = "/proc/" + std::to_string(pid_) + "/status";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(status);
        for (std::string line; std::getline(in, line);) {
            if (line.compare(0, 7, "SigCgt:") == 0 &&
                ((std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1) != 0) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

ProcessResult FeedcatProcess::Wait() {
    ProcessResult result;
    int status = 0;
    rusage usage{};
    if (pid_ > 0 && wait4(pid_, &status, 0, &usage) == pid_) {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.peakResidentKb = usage.ru_maxrss;
    }
    pid_ = -1;
    result.out = ReadFileBytes(outPath_);
    result.err = ReadFileBytes(errPath_);
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
    return result;
}

ProcessResult FeedcatProcess::WaitAtMost(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    // Looks without reaping, so that Wait still collects the status.
    auto running = [this] {
        siginfo_t info{};
        return pid_ > 0 &&
               waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    };
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            break;
        }
        usleep(20000);
    }
    return Wait();
}

ProcessResult RunFeedcat(const std::vector<std::string>& args, const ScratchFolder& folder) {
    FeedcatProcess process(args, folder);
    return process.Wait();
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace feedcat_test
