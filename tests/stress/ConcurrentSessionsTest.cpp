// Many feeds at once on the real engine, and one very long source list: every session ends
// by itself with exact counts, and the threads, file handles and resident memory of the
// process come back to where they were.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <feed/feed.h>

#include "tests/stress/ProcessFigures.h"
#include "tests/tarn/TestMedia.h"

namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kFeeds = 12;
constexpr int kClipsPerKind = 200;
#else
constexpr int kFeeds = 50;
constexpr int kClipsPerKind = 1000;
#endif

struct Counts {
    std::atomic<int> frames{0};
    std::atomic<std::int64_t> sampleFrames{0};
    std::atomic<int> badFrames{0};  // wrong size or length
};

std::intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length, int32_t,
                                int32_t width, int32_t height) {
    auto& counts = *static_cast<Counts*>(user);
    ++counts.frames;
    if (width != 160 || height != 120 || length != 160 * 120 * 4) {
        ++counts.badFrames;
    }
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t*, int32_t length, int32_t, int32_t, int32_t,
                           int32_t channels) {
    static_cast<Counts*>(user)->sampleFrames += length / (2 * channels);
    return 0;
}

bool WaitForIdle(FeedHandle feed, std::chrono::seconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (FeedGetState(feed) != FEED_STATE_IDLE && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(2ms);
    }
    return FeedGetState(feed) == FEED_STATE_IDLE;
}

void Configure(FeedHandle feed, Counts& counts) {
    FeedSetVideoCallback(feed, OnFrame, &counts);
    FeedSetAudioCallback(feed, OnBuffer, &counts);
    FeedSetVideoSize(feed, 160, 120);
    FeedSetFrameRate(feed, 25.0);
    FeedSetAudioSampleRate(feed, 8000);
    FeedSetAudioChannels(feed, 1);
}

// A first session warms up FFmpeg's one-time tables, so that the memory measured later
// compares like with like.
void WarmUp() {
    Counts counts;
    FeedHandle feed = FeedCreate();
    Configure(feed, counts);
    FeedAddVideoSource(feed, "lavfi:testsrc2=size=160x120:rate=25:duration=1", 0, 1000);
    FeedAddAudioSource(feed, "lavfi:sine=frequency=440:duration=1", 0, 1000);
    FeedStart(feed);
    WaitForIdle(feed, 60s);
    FeedDestroy(feed);
}

TEST(ConcurrentSessionsTest, FiftyFeedsAtOnceAllEndWithExactCounts) {
    WarmUp();
    const figures::Snapshot before = figures::Take();
    const auto started = std::chrono::steady_clock::now();

    std::vector<FeedHandle> feeds(kFeeds);
    std::vector<Counts> counts(kFeeds);
    std::vector<int> lengthMs(kFeeds);
    for (int i = 0; i < kFeeds; ++i) {
        // 1 or 2 s of each, with the audio a little shorter on some so the padding is counted.
        lengthMs[i] = i % 2 == 0 ? 1000 : 2000;
        const int audioMs = i % 3 == 0 ? lengthMs[i] - 400 : lengthMs[i];
        feeds[i] = FeedCreate();
        ASSERT_NE(feeds[i], nullptr);
        Configure(feeds[i], counts[i]);
        ASSERT_EQ(FeedAddVideoSource(feeds[i], "lavfi:testsrc2=size=160x120:rate=25:duration=2", 0,
                                     lengthMs[i]),
                  1);
        ASSERT_EQ(FeedAddAudioSource(feeds[i], "lavfi:sine=frequency=440:duration=2", 0, audioMs),
                  2);
    }
    int peakThreads = 0;
    for (FeedHandle feed : feeds) {
        ASSERT_EQ(FeedStart(feed), 1);
    }
    const auto until = std::chrono::steady_clock::now() + 120s;
    bool allIdle = false;
    while (!allIdle && std::chrono::steady_clock::now() < until) {
        peakThreads = std::max(peakThreads, figures::Threads());
        allIdle = true;
        for (FeedHandle feed : feeds) {
            allIdle = allIdle && FeedGetState(feed) == FEED_STATE_IDLE;
        }
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(allIdle) << "a session did not end";
    for (int i = 0; i < kFeeds; ++i) {
        EXPECT_EQ(counts[i].frames.load(), lengthMs[i] / 40) << "feed " << i;
        EXPECT_EQ(counts[i].sampleFrames.load(), lengthMs[i] * 8) << "feed " << i;
        EXPECT_EQ(counts[i].badFrames.load(), 0) << "feed " << i;
        FeedDestroy(feeds[i]);
    }
    const figures::Snapshot after = figures::TakeSettled(before.threads);
    std::cout << "[ figures  ] " << kFeeds << " sessions at once in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
              << " s, at most " << peakThreads << " threads; before: " << before
              << "; after: " << after << std::endl;
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.files, before.files);
    if (figures::kResidentMemoryTellsLeaks) {
        EXPECT_LE(after.residentBytes - before.residentBytes, 16 * 1024 * 1024);
    }
}

// The clip-per-timeline bound on open files is checked in tests/engine/OpenFilesBoundTest.cpp;
// here the same long list is played for threads and memory.
TEST(ConcurrentSessionsTest, TwoThousandClipsLeaveNoThreadsFilesOrMemoryBehind) {
    const testmedia::Files& media = testmedia::Media();
    WarmUp();
    const figures::Snapshot before = figures::Take();
    const auto started = std::chrono::steady_clock::now();

    Counts counts;
    FeedHandle feed = FeedCreate();
    Configure(feed, counts);
    for (int i = 0; i < kClipsPerKind; ++i) {
        const int startMs = (i * 40) % 1400;
        ASSERT_GT(FeedAddVideoSource(feed, media.videoOnly.c_str(), startMs, startMs + 40), 0);
        ASSERT_GT(FeedAddAudioSource(feed, media.ramp.c_str(), startMs, startMs + 40), 0);
    }
    int peakThreads = 0;
    ASSERT_EQ(FeedStart(feed), 1);
    const auto until = std::chrono::steady_clock::now() + 240s;
    while (FeedGetState(feed) != FEED_STATE_IDLE && std::chrono::steady_clock::now() < until) {
        peakThreads = std::max(peakThreads, figures::Threads());
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    FeedDestroy(feed);
    EXPECT_EQ(counts.frames.load(), kClipsPerKind);
    EXPECT_EQ(counts.sampleFrames.load(), std::int64_t{kClipsPerKind} * 320);
    EXPECT_EQ(counts.badFrames.load(), 0);

    const figures::Snapshot after = figures::TakeSettled(before.threads);
    std::cout << "[ figures  ] " << 2 * kClipsPerKind << " clips in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
              << " s, at most " << peakThreads << " threads; before: " << before
              << "; after: " << after << std::endl;
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.files, before.files);
    if (figures::kResidentMemoryTellsLeaks) {
        EXPECT_LE(after.residentBytes - before.residentBytes, 16 * 1024 * 1024);
    }
}

}  // namespace
