// --json prints exactly one JSON object in every outcome: done, refused on the command line,
// refused for the output or a source, and interrupted at any moment, before the session
// starts (nothing written, and a word on standard error), while it plays, and by a second
// signal that ends feedcat at once. Read with Python's json module.
//
// The random delays are seeded; the seed is printed and FEED_STRESS_SEED=<n> repeats a run.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FeedcatProcess.h"
#include "JsonCheck.h"
#include "tests/support/media/LosslessClips.h"

namespace feedcat_test {
namespace {

using namespace std::chrono_literals;

// clip.mkv: pattern and tone, 160x120, 2 s; list.txt: 2,000 one-frame spans of it, which take
// a few seconds to set up before the session starts.
class FeedcatJsonEveryOutcome : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(testmedia::WritePatternAndTone(folder.path(), "clip.mkv", 160, 120, 2000, true,
                                                   true, &error))
            << error;
        std::ofstream list(folder.File("list.txt"));
        for (int i = 0; i < 2000; ++i) {
            list << "clip.mkv@0-40ms\n";
        }
    }
    ScratchFolder folder;
};

// Each failure names its code and source, with the process's status; a success none.
TEST_F(FeedcatJsonEveryOutcome, OneObjectForEveryEndingWithItsErrorAndStatus) {
    {
        std::ofstream existing(folder.File("kept.mkv"));
        existing << "earlier";
    }
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string code;    // JSON: "\"usage\"", ...; "\"MISSING\"" when "error" is null
        std::string source;  // JSON
        std::string written;
    };
    for (const Case& c :
         {Case{{"clip.mkv", "--bogus", "-o", "x.mkv"}, 2, "\"usage\"", "null", "false"},
          Case{{"clip.mkv", "-o", "-", "--format", "nut"}, 2, "\"usage\"", "null", "false"},
          Case{{"clip.mkv", "-o", "x.xyz"}, 2, "\"output\"", "null", "false"},
          Case{{"v:clip.mkv", "-o", "x.mp3"}, 2, "\"output\"", "null", "false"},
          Case{{"clip.mkv", "-n", "-o", "kept.mkv"}, 2, "\"output\"", "null", "false"},
          Case{{"clip.mkv", "nope.mkv", "-o", "x.mkv"}, 1, "\"source\"", "\"nope.mkv\"", "false"},
          Case{{"clip.mkv@3s-", "-o", "x.mkv"}, 2, "\"source\"", "\"clip.mkv\"", "false"},
          Case{{"clip.mkv@0-1s", "-o", "x.mkv"}, 0, "\"MISSING\"", "MISSING", "true"}}) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--quiet", "--json"});
        const ProcessResult run = RunFeedcat(args, folder);
        const std::string what = c.args[1] + " " + c.args.back();
        EXPECT_EQ(run.status, c.status) << what << ": " << run.err;
        const std::vector<std::string> json = JsonValues(
            run.out, {"exit_status", "error.code", "error.source", "written", "error.message"});
        ASSERT_EQ(json.size(), 5u) << what << ": not one JSON object: " << run.out;
        EXPECT_EQ(json[0], std::to_string(c.status)) << what;
        EXPECT_EQ(json[1], c.code) << what;
        if (c.source != "MISSING") {
            EXPECT_EQ(json[2], c.source) << what;
        }
        EXPECT_EQ(json[3], c.written) << what;
        // The message is the line on standard error.
        if (c.status != 0) {
            const std::string message = json[4].substr(1, json[4].size() - 2);
            EXPECT_NE(run.err.find(message.substr(0, 20)), std::string::npos)
                << what << ": " << run.err;
        }
    }
}

// A signal before anything is delivered (the list is being read, or the library opens its
// clips) stops the run with a word, and nothing is written.
TEST_F(FeedcatJsonEveryOutcome, ASignalBeforeAnythingIsDeliveredWritesNothingAndSaysSo) {
    for (const int number : {SIGINT, SIGTERM}) {
        FeedcatProcess process({"--clips", "list.txt", "--json", "-o", "early.mkv"}, folder);
        // The library takes seconds to open 2,000 clips before it delivers anything.
        ASSERT_TRUE(process.WaitUntilCatching(number));
        std::this_thread::sleep_for(100ms);
        process.Signal(number);
        const ProcessResult run = process.Wait();
        EXPECT_EQ(run.status, 128 + number) << run.err;
        EXPECT_NE(run.err.find("feedcat: stopped before anything was delivered; nothing written"),
                  std::string::npos)
            << run.err;
        const std::vector<std::string> json =
            JsonValues(run.out, {"exit_status", "interrupted", "written", "error"});
        ASSERT_EQ(json.size(), 4u) << run.out;
        EXPECT_EQ(json[0], std::to_string(128 + number));
        EXPECT_EQ(json[1], "true");
        EXPECT_EQ(json[2], "false");
        EXPECT_EQ(json[3], "null");
        EXPECT_FALSE(FileExists(folder.File("early.mkv")));
    }
}

std::uint32_t ChooseSeed() {
    if (const char* given = std::getenv("FEED_STRESS_SEED")) {
        return static_cast<std::uint32_t>(std::strtoul(given, nullptr, 10));
    }
    return std::random_device{}();
}

// SIGINT at a random moment, from the command line's reading to the file's finishing; a second
// one at once in some runs. Always one object, whose "written" says whether the file is there.
TEST_F(FeedcatJsonEveryOutcome, AnInterruptAtAnyMomentGivesOneObject) {
    const std::uint32_t seed = ChooseSeed();
    std::cout << "[ seed     ] FEED_STRESS_SEED=" << seed << std::endl;
    std::mt19937 random(seed);
    for (int run = 0; run < 6; ++run) {
        const int delayMs = std::uniform_int_distribution<int>(0, 4000)(random);
        const bool twice = run % 3 == 2;
        FeedcatProcess process({"--clips", "list.txt", "--json", "-o", "any.mkv"}, folder);
        // Before feedcat catches SIGINT, the default action ends it: no program can answer
        // a signal before it has started.
        ASSERT_TRUE(process.WaitUntilCatching(SIGINT));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        process.Signal(SIGINT);
        if (twice) {
            std::this_thread::sleep_for(5ms);
            process.Signal(SIGINT);
        }
        const ProcessResult result = process.Wait();
        const std::string what =
            std::to_string(delayMs) + " ms" + (twice ? ", twice" : "") + ": " + result.err;
        EXPECT_TRUE(result.status == 130 || result.status == 0) << what;
        const std::vector<std::string> json =
            JsonValues(result.out, {"exit_status", "interrupted", "written"});
        ASSERT_EQ(json.size(), 3u) << what << ": not one JSON object: " << result.out;
        EXPECT_EQ(json[0], std::to_string(result.status)) << what;
        EXPECT_EQ(json[1], result.status == 130 ? "true" : "false") << what;
        EXPECT_EQ(json[2], FileExists(folder.File("any.mkv")) ? "true" : "false") << what;
        std::remove(folder.File("any.mkv").c_str());
    }
}

}  // namespace
}  // namespace feedcat_test
