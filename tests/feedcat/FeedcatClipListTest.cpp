// --clips FILE: sources read from a list, relative names taken from the list's folder, comment
// and blank lines skipped; a list of 5,000 runs in bounded time and memory (the library keeps
// at most two clips open per timeline, and feedcat looks into each file once).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>

#include "FeedcatProcess.h"
#include "FfprobeCheck.h"
#include "tests/support/Sanitizers.h"
#include "tests/support/media/LosslessClips.h"

namespace feedcat_test {
namespace {

// The sanitizers make every clip's opening many times slower.
constexpr int kLongList = support::kUnderSanitizer ? 1000 : 5000;

// lists/media/tiny.mkv: pattern and tone, 64x48, 1 s; lists/ holds the lists.
class FeedcatClipList : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(mkdir(folder.File("lists").c_str(), 0755), 0);
        ASSERT_EQ(mkdir(folder.File("lists/media").c_str(), 0755), 0);
        std::string error;
        ASSERT_TRUE(testmedia::WritePatternAndTone(folder.File("lists/media"), "tiny.mkv", 64, 48,
                                                   1000, true, true, &error))
            << error;
    }

    // Writes lists/name: a comment, a blank line, then `count` sources (each 40 ms) with
    // spaces around them.
    void WriteList(const std::string& name, int count) {
        std::ofstream list(folder.File("lists/" + name));
        list << "# " << count << " clips of one frame each\n\n";
        for (int i = 0; i < count; ++i) {
            list << "  av:media/tiny.mkv@" << (i % 24) * 40 << "ms-" << (i % 24 + 1) * 40
                 << "ms  \n";
        }
    }

    ScratchFolder folder;
};

TEST_F(FeedcatClipList, ThousandsOfSourcesRunInBoundedTimeAndMemory) {
    WriteList("long.txt", kLongList);
    WriteList("short.txt", 50);
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult run =
        RunFeedcat({"--clips", "lists/long.txt", "--quiet", "-o", "long.mkv"}, folder);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(run.status, 0) << run.err;
    const ProcessResult few =
        RunFeedcat({"--clips", "lists/short.txt", "--quiet", "-o", "short.mkv"}, folder);
    ASSERT_EQ(few.status, 0) << few.err;
    std::cout << "[ figures  ] " << kLongList << " sources: " << seconds << " s, peak "
              << run.peakResidentKb / 1024 << " MiB resident; 50 sources: peak "
              << few.peakResidentKb / 1024 << " MiB" << std::endl;

    const ProbedFile probed = Ffprobe(folder.File("long.mkv"));
    const ProbedStream* video = probed.Find("video");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(probed.Find("audio"), nullptr);
    EXPECT_EQ(video->Number("nb_read_frames"), kLongList);
    // AAC adds a frame or two of its own at the ends.
    EXPECT_NEAR(probed.durationSeconds, kLongList * 0.04, 0.2);
    // Bounded: no more than a few clips' worth of memory beyond the short list's, and well
    // within the test's time limit (a list that grew the cost per source would not be).
    if (!support::kUnderSanitizer) {
        EXPECT_LT(run.peakResidentKb - few.peakResidentKb, 48 * 1024);
    }
    EXPECT_LT(seconds, 90.0);
}

// Names are relative to the list's folder (absolute ones and lavfi: graphs stay as they are);
// a bad line is refused naming the list and the line; a list that cannot be read is refused.
TEST_F(FeedcatClipList, NamesAreRelativeToTheListAndBadLinesAreNamed) {
    {
        std::ofstream list(folder.File("lists/mixed.txt"));
        list << "# a comment\n"
             << "v:media/tiny.mkv@0-1s\n"
             << "   # an indented comment\n"
             << "\r\n"
             << "a:" << folder.File("lists/media/tiny.mkv") << "@0-500ms\r\n"
             << "a:lavfi:sine=frequency=440:sample_rate=8000@0-500ms\n";
    }
    const ProcessResult run =
        RunFeedcat({"--clips", "lists/mixed.txt", "--quiet", "-o", "mixed.mkv"}, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const ProbedFile probed = Ffprobe(folder.File("mixed.mkv"));
    ASSERT_NE(probed.Find("video"), nullptr);
    ASSERT_NE(probed.Find("audio"), nullptr);
    EXPECT_EQ(probed.Find("video")->Number("nb_read_frames"), 25);
    EXPECT_NEAR(probed.durationSeconds, 1.0, 0.2);

    {
        std::ofstream list(folder.File("lists/bad.txt"));
        list << "# fine so far\nv:media/tiny.mkv@0-1s\nv:media/tiny.mkv@2s-1s\n";
    }
    struct Case {
        std::string list;
        std::string says;
    };
    for (const Case& c :
         {Case{"lists/bad.txt", "lists/bad.txt:3: times out of order in source"},
          Case{"lists/none.txt", "cannot read clip list 'lists/none.txt': No such file"}}) {
        const ProcessResult refused = RunFeedcat({"--clips", c.list, "-o", "x.mkv"}, folder);
        EXPECT_EQ(refused.status, 2) << c.list;
        EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
        EXPECT_FALSE(FileExists(folder.File("x.mkv")));
    }
}

}  // namespace
}  // namespace feedcat_test
