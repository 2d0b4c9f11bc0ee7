// A long list of clips costs no more file handles than a few: files are probed and closed
// while the session is built, and a timeline holds two clips' files open at a time, the one
// playing and the next, which is prepared ahead.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <feed/feed.h>

#include "tests/tarn/TestMedia.h"

namespace {

using namespace std::chrono_literals;

int OpenFileHandles() {
    int count = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (readdir(fds) != nullptr) {
            ++count;
        }
        closedir(fds);
    }
    return count;
}

struct Watch {
    std::mutex counting;  // one count at a time: each holds a descriptor of its own
    int mostOpen = 0;
    std::atomic<int> frames{0};
    std::atomic<std::int64_t> sampleFrames{0};
    void Sample() {
        const std::lock_guard<std::mutex> lock(counting);
        mostOpen = std::max(mostOpen, OpenFileHandles());
    }
};

std::intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t, int32_t, int32_t,
                                int32_t) {
    auto& watch = *static_cast<Watch*>(user);
    ++watch.frames;
    watch.Sample();
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t*, int32_t length, int32_t, int32_t, int32_t,
                           int32_t channels) {
    auto& watch = *static_cast<Watch*>(user);
    watch.sampleFrames += length / (2 * channels);
    watch.Sample();
    return 0;
}

// 1,000 clips of each kind; fewer under the sanitizers, which make every clip's thread and
// file far slower (the bound is the same for any count).
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kClips = 200;
#else
constexpr int kClips = 1000;
#endif

TEST(OpenFilesBoundTest, TwoThousandClipsHoldAtMostAFewFilesAtOnce) {
    const testmedia::Files& media = testmedia::Media();
    const int before = OpenFileHandles();

    FeedHandle feed = FeedCreate();
    Watch watch;
    FeedSetVideoCallback(feed, OnFrame, &watch);
    FeedSetAudioCallback(feed, OnBuffer, &watch);
    FeedSetVideoSize(feed, 160, 120);
    FeedSetFrameRate(feed, 25.0);
    FeedSetAudioSampleRate(feed, 8000);
    FeedSetAudioChannels(feed, 1);
    // kClips clips of each kind, 40 ms each: a frame per video clip.
    for (int i = 0; i < kClips; ++i) {
        const int startMs = (i * 40) % 1400;
        ASSERT_GT(FeedAddVideoSource(feed, media.videoOnly.c_str(), startMs, startMs + 40), 0);
        ASSERT_GT(FeedAddAudioSource(feed, media.ramp.c_str(), startMs, startMs + 40), 0);
    }
    ASSERT_EQ(FeedStart(feed), 1);
    const auto until = std::chrono::steady_clock::now() + 240s;
    while (FeedGetState(feed) != FEED_STATE_IDLE && std::chrono::steady_clock::now() < until) {
        watch.Sample();  // also while the worker probes the files
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    FeedDestroy(feed);

    EXPECT_EQ(watch.frames.load(), kClips);
    EXPECT_EQ(watch.sampleFrames.load(), kClips * 320);  // 40 ms at 8,000 Hz
    // Two files per timeline: the clip playing and the next one, prepared ahead.
    EXPECT_LE(watch.mostOpen - before, 4);
    EXPECT_EQ(OpenFileHandles(), before);  // nothing left open
}

}  // namespace
