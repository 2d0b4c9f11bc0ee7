// Many feeds at once on the real engine, and one very long source list: every session ends
// by itself with exact counts, and the threads, file handles and resident memory of the
// process come back to where they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <feed/feed.h>

#include "tests/support/EngineHost.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/Waiting.h"
#include "tests/support/media/TestMedia.h"

namespace {

using namespace std::chrono_literals;

constexpr int kFeeds = support::kUnderSanitizer ? 12 : 50;

// A first session warms up FFmpeg's one-time tables, so that the memory measured later
// compares like with like.
void WarmUp() {
    support::EngineHost host;
    FeedAddVideoSource(host.feed(), "lavfi:testsrc2=size=160x120:rate=25:duration=1", 0, 1000);
    FeedAddAudioSource(host.feed(), "lavfi:sine=frequency=440:duration=1", 0, 1000);
    host.Play(60s);
}

// Prints what the run took, then checks that the process holds no more threads and files than
// before it, nor (where resident memory tells) much more memory.
void ExpectNothingLeftBehind(const figures::Snapshot& before, const std::string& run,
                             std::chrono::steady_clock::time_point started, int peakThreads) {
    const figures::Snapshot after = figures::TakeSettled(before.threads);
    std::cout << "[ figures  ] " << run << " in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
              << " s, at most " << peakThreads << " threads; before: " << before
              << "; after: " << after << std::endl;
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.files, before.files);
    if (figures::kResidentMemoryTellsLeaks) {
        EXPECT_LE(after.residentBytes - before.residentBytes, 16 * 1024 * 1024);
    }
}

TEST(ConcurrentSessionsTest, FiftyFeedsAtOnceAllEndWithExactCounts) {
    WarmUp();
    const figures::Snapshot before = figures::Take();
    const auto started = std::chrono::steady_clock::now();

    std::vector<std::unique_ptr<support::EngineHost>> hosts;
    std::vector<int> lengthMs(kFeeds);
    for (int i = 0; i < kFeeds; ++i) {
        // 1 or 2 s of each, with the audio a little shorter on some so the padding is counted.
        lengthMs[i] = i % 2 == 0 ? 1000 : 2000;
        const int audioMs = i % 3 == 0 ? lengthMs[i] - 400 : lengthMs[i];
        const FeedHandle feed = hosts.emplace_back(std::make_unique<support::EngineHost>())->feed();
        ASSERT_NE(feed, nullptr);
        ASSERT_EQ(FeedAddVideoSource(feed, "lavfi:testsrc2=size=160x120:rate=25:duration=2", 0,
                                     lengthMs[i]),
                  1);
        ASSERT_EQ(FeedAddAudioSource(feed, "lavfi:sine=frequency=440:duration=2", 0, audioMs), 2);
    }
    int peakThreads = 0;
    for (const auto& host : hosts) {
        ASSERT_TRUE(host->Start());
    }
    const bool allIdle = support::Eventually(
        [&] {
            peakThreads = std::max(peakThreads, figures::Threads());
            return std::all_of(hosts.begin(), hosts.end(), [](const auto& host) {
                return FeedGetState(host->feed()) == FEED_STATE_IDLE;
            });
        },
        120s, 5ms);
    ASSERT_TRUE(allIdle) << "a session did not end";
    for (int i = 0; i < kFeeds; ++i) {
        const support::EngineHost& host = *hosts[i];
        EXPECT_EQ(host.frames.load(), lengthMs[i] / 40) << "feed " << i;
        EXPECT_EQ(host.sampleFrames.load(), lengthMs[i] * 8) << "feed " << i;
        EXPECT_EQ(host.framesOffFormat.load(), 0) << "feed " << i;
        hosts[i].reset();
    }
    ExpectNothingLeftBehind(before, std::to_string(kFeeds) + " sessions at once", started,
                            peakThreads);
}

// The clip-per-timeline bound on open files is checked in tests/end_to_end/OpenFilesBoundTest.cpp;
// here the same long list is played for threads and memory.
TEST(ConcurrentSessionsTest, TwoThousandClipsLeaveNoThreadsFilesOrMemoryBehind) {
    testmedia::Media();  // written (once per process) before the figures are taken
    WarmUp();
    const figures::Snapshot before = figures::Take();
    const auto started = std::chrono::steady_clock::now();

    support::EngineHost host;
    ASSERT_TRUE(support::AddLongClipList(host.feed()));
    int peakThreads = 0;
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(
        host.WaitUntilIdle(240s, [&] { peakThreads = std::max(peakThreads, figures::Threads()); }));
    host.Destroy();
    EXPECT_EQ(host.frames.load(), support::kLongListClips);
    EXPECT_EQ(host.sampleFrames.load(), std::int64_t{support::kLongListClips} * 320);
    EXPECT_EQ(host.framesOffFormat.load(), 0);

    ExpectNothingLeftBehind(before, std::to_string(2 * support::kLongListClips) + " clips", started,
                            peakThreads);
}

}  // namespace
