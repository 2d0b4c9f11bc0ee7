// feedcat under faults: the output's file system full (a file size limit), the output removed
// while it is written, and SIGTERM at random moments. In each case feedcat ends with a clear
// status, and what it leaves is a file that opens, or nothing (no temporary file).
//
// The random delays are seeded; the seed is printed and FEED_STRESS_SEED=<n> repeats a run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FeedcatProcess.h"
#include "MediaCheck.h"

namespace feedcat_test {
namespace {

using namespace std::chrono_literals;

const std::string kLongPattern = "v:lavfi:testsrc2=size=320x240:rate=25@0-600000";
const std::string kLongTone = "a:lavfi:sine=frequency=440:sample_rate=44100@0-600000";

// Runs feedcat in folder with the size of any file it writes limited to limitBytes (what
// `ulimit -f` sets), standard error going to a file outside the folder.
ProcessResult RunWithFileSizeLimit(const std::vector<std::string>& args,
                                   const ScratchFolder& folder, rlim_t limitBytes) {
    FeedcatCommandLine command(args);
    const std::string errPath = folder.path() + ".stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int none = open("/dev/null", O_WRONLY);
        const rlimit limit{limitBytes, limitBytes};
        if (err < 0 || none < 0 || chdir(folder.path().c_str()) != 0 ||
            setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(127);
        }
        dup2(none, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        command.Exec();
    }
    ProcessResult result;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.err = "[killed after the time limit] ";
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.err += ReadFileBytes(errPath);
    unlink(errPath.c_str());
    return result;
}

// The folder holds nothing, or only `output`, and that opens with a stream in it.
void ExpectValidFileOrNothing(const ScratchFolder& folder, const std::string& output,
                              const std::string& what) {
    const std::vector<std::string> entries = folder.Entries();
    for (const std::string& name : entries) {
        EXPECT_EQ(name, output) << what << ": left behind";
    }
    if (FileExists(folder.File(output))) {
        const MediaReport media = ReadMedia(folder.File(output));
        EXPECT_TRUE(media.opened) << what << ": the output does not open";
        EXPECT_FALSE(media.streams.empty()) << what;
    }
}

std::uint32_t ChooseSeed() {
    if (const char* given = std::getenv("FEED_STRESS_SEED")) {
        return static_cast<std::uint32_t>(std::strtoul(given, nullptr, 10));
    }
    return std::random_device{}();
}

// A full disk shows as a write error (SIGXFSZ must not end the process): status 1 with a
// message, and no file or temporary file left.
TEST(FeedcatFaults, AFullOutputDiskFailsWithAMessageAndLeavesNoFile) {
    for (const std::string output : {"full.mkv", "full.mp4", "full.wav", "full.y4m"}) {
        ScratchFolder folder;
        std::vector<std::string> args = {"--quiet", "-o", output};
        if (output != "full.wav") {
            args.push_back("v:lavfi:testsrc2=size=320x240:rate=25@0-3000");
        }
        if (output != "full.y4m") {
            args.push_back("a:lavfi:sine=frequency=440:sample_rate=44100@0-3000");
        }
        const ProcessResult run = RunWithFileSizeLimit(args, folder, 64 * 1024);
        EXPECT_EQ(run.status, 1) << output << ": " << run.err;
        EXPECT_NE(run.err.find("feedcat: "), std::string::npos) << output << ": " << run.err;
        ExpectValidFileOrNothing(folder, output, output);
        EXPECT_FALSE(FileExists(folder.File(output))) << output << ": a cut-short file was kept";
    }
}

// The same limit with room for everything: the run is not disturbed by the limit itself.
TEST(FeedcatFaults, AFileSizeLimitWithRoomToSpareChangesNothing) {
    ScratchFolder folder;
    const ProcessResult run =
        RunWithFileSizeLimit({"a:lavfi:sine=frequency=440:sample_rate=8000@0-1000", "--channels",
                              "1", "--quiet", "-o", "small.wav"},
                             folder, 1024 * 1024);
    ASSERT_EQ(run.status, 0) << run.err;
    const MediaReport media = ReadMedia(folder.File("small.wav"));
    ASSERT_TRUE(media.opened);
    ASSERT_EQ(media.streams.size(), 1u);
    EXPECT_EQ(media.streams[0].sampleFrames, 8000);
}

// The temporary file being written is removed: feedcat goes on writing to the open file,
// cannot move it into place at the end, and says so with status 1; nothing is left.
TEST(FeedcatFaults, OutputRemovedWhileWrittenFailsWithAMessage) {
    ScratchFolder folder;
    const std::string output = "gone.mkv";
    FeedcatProcess process(
        {"v:lavfi:testsrc2=size=320x240:rate=25@0-20000",
         "a:lavfi:sine=frequency=440:sample_rate=44100@0-20000", "--quiet", "-o", output},
        folder);
    bool removed = false;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!removed && std::chrono::steady_clock::now() < deadline) {
        for (const std::string& name : folder.Entries()) {
            struct stat status {};
            if (name.find(output) != std::string::npos && name != output &&
                stat(folder.File(name).c_str(), &status) == 0 && status.st_size > 0) {
                removed = unlink(folder.File(name).c_str()) == 0;
            }
        }
        std::this_thread::sleep_for(1ms);
    }
    const ProcessResult run = process.Wait();
    if (!removed) {
        GTEST_SKIP() << "the run ended before its temporary file could be removed";
    }
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("cannot write '" + output + "'"), std::string::npos) << run.err;
    EXPECT_TRUE(folder.Entries().empty());
}

// SIGTERM at a random moment, from before the session starts to after it has ended: status
// 143 (or 0 when the run was already done), and the output opens or does not exist.
TEST(FeedcatFaults, SigtermAtRandomMomentsLeavesAFileThatOpensOrNothing) {
    const std::uint32_t seed = ChooseSeed();
    std::cout << "[ seed     ] FEED_STRESS_SEED=" << seed << std::endl;
    std::mt19937 random(seed);
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr int kRuns = 4;
#else
    constexpr int kRuns = 10;
#endif
    int finished = 0;
    for (int run = 0; run < kRuns; ++run) {
        ScratchFolder folder;
        const std::string output = run % 2 == 0 ? "term.mkv" : "term.mp4";
        // A 40 s run takes about a second to write here.
        const int delayMs = std::uniform_int_distribution<int>(0, 1500)(random);
        FeedcatProcess process(
            {"v:lavfi:testsrc2=size=160x120:rate=25@0-40000",
             "a:lavfi:sine=frequency=440:sample_rate=44100@0-40000", "--quiet", "-o", output},
            folder);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        process.Signal(SIGTERM);
        const ProcessResult result = process.Wait();
        const std::string what = output + " after " + std::to_string(delayMs) + " ms";
        EXPECT_TRUE(result.status == 143 || result.status == 0)
            << what << ": " << result.status << " " << result.err;
        finished += result.status == 0 ? 1 : 0;
        ExpectValidFileOrNothing(folder, output, what);
    }
    std::cout << "[ figures  ] " << kRuns << " runs, " << finished
              << " had finished before the signal" << std::endl;
}

// A second signal, while the first is being handled, ends the run at once (128 + the first
// signal's number) and still removes the unfinished temporary file: nothing is left but a
// finished output.
TEST(FeedcatFaults, ASecondSignalEndsTheRunAtOnceAndLeavesNoTemporaryFile) {
    for (const int number : {SIGTERM, SIGINT}) {
        for (const auto gap : {0ms, 10ms, 30ms, 50ms}) {
            ScratchFolder folder;
            FeedcatProcess process({kLongPattern, kLongTone, "--quiet", "-o", "twice.mkv"}, folder);
            std::this_thread::sleep_for(500ms);
            process.Signal(number);
            std::this_thread::sleep_for(gap);
            process.Signal(number);
            const ProcessResult result = process.Wait();
            const std::string what =
                "signal " + std::to_string(number) + ", " + std::to_string(gap.count()) + " ms";
            EXPECT_EQ(result.status, 128 + number) << what << ": " << result.err;
            ExpectValidFileOrNothing(folder, "twice.mkv", what);
        }
    }
}

}  // namespace
}  // namespace feedcat_test
