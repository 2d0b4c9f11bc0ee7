// The next clip of a timeline is opened, sought and decoded to its in point while the current
// one plays, on both timelines, so that a host consuming in real time never waits at a join;
// and the join itself still shows exactly the right frames and samples.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <feed/feed.h>

#include "tests/support/EngineHost.h"
#include "tests/support/Waiting.h"
#include "tests/support/media/TestMedia.h"

namespace {

using namespace std::chrono_literals;
using testmedia::Media;

// True when one of the process's descriptors is open on `path`.
bool IsOpen(const std::string& path) {
    char real[PATH_MAX];
    if (realpath(path.c_str(), real) == nullptr) {
        return false;
    }
    for (int fd = 0; fd < 1024; ++fd) {
        char link[64];
        char target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            if (real == std::string(target)) {
                return true;
            }
        }
    }
    return false;
}

// What the host saw: whether each timeline's next file was open by its first callback, and
// what each frame and buffer carried.
struct Seen {
    std::atomic<bool> videoOpenedAhead{false};
    std::atomic<bool> audioOpenedAhead{false};
    std::mutex mutex;
    std::vector<int> frameIndices;       // the bar code each frame carries
    std::vector<std::int16_t> leftAtMs;  // the left sample at the start of each buffer
};

TEST(PrepareAheadTest, TheNextClipIsOpenedWhileTheCurrentOnePlaysAndJoinsExactly) {
    const testmedia::Files& media = Media();
    Seen seen;
    support::EngineHost host(
        {testmedia::kSmallWidth, testmedia::kSmallHeight, 25.0, testmedia::kRampRate, 2});
    FeedHandle feed = host.feed();
    FeedSetSyncEnabled(feed, 0);  // each timeline's first callback waits on its own
    // Each timeline's first callback waits for the next clip's file to be opened.
    host.onFrame = [&](const support::FrameArrival& frame) {
        if (frame.index == 0) {
            seen.videoOpenedAhead = support::Eventually([&] { return IsOpen(media.videoOnly); });
        }
        const std::vector<std::uint8_t> pixels(frame.pixels, frame.pixels + frame.length);
        const std::lock_guard<std::mutex> lock(seen.mutex);
        seen.frameIndices.push_back(testmedia::BarCodeIndex(pixels, frame.width, frame.height));
    };
    host.onBuffer = [&](const support::BufferArrival& buffer) {
        if (buffer.index == 0) {
            seen.audioOpenedAhead = support::Eventually([&] { return IsOpen(media.ramp); });
        }
        std::int16_t left;
        std::memcpy(&left, buffer.samples, sizeof left);
        const std::lock_guard<std::mutex> lock(seen.mutex);
        seen.leftAtMs.push_back(left);
    };
    // Video: av.mp4's frames 0-9, then video_only.mkv from its frame 30 (mid-GOP).
    ASSERT_GT(FeedAddVideoSource(feed, media.av.c_str(), 0, 400), 0);
    ASSERT_GT(FeedAddVideoSource(feed, media.videoOnly.c_str(), 1200, 1600), 0);
    // Audio: 200 ms of the tone, then the ramp from 0.5 s on.
    ASSERT_GT(FeedAddAudioSource(feed, media.av.c_str(), 0, 200), 0);
    ASSERT_GT(FeedAddAudioSource(feed, media.ramp.c_str(), 500, 1000), 0);
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(host.WaitUntilIdle(60s, nullptr, 5ms));
    host.Destroy();

    EXPECT_TRUE(seen.videoOpenedAhead) << "video_only.mkv was not opened before it was due";
    EXPECT_TRUE(seen.audioOpenedAhead) << "ramp.wav was not opened before it was due";
    ASSERT_EQ(seen.frameIndices.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(seen.frameIndices[static_cast<std::size_t>(i)], i < 10 ? i : 30 + (i - 10))
            << "frame " << i;
    }
    // The ramp enters at its sample 22050 exactly, at the first buffer after the tone's 200 ms
    // (the audio timeline is padded to the video's 800 ms: 80 buffers of 10 ms).
    ASSERT_EQ(seen.leftAtMs.size(), 80u);
    for (std::size_t i = 20; i < 70; ++i) {
        EXPECT_EQ(seen.leftAtMs[i], testmedia::RampLeft(22050 + static_cast<int>(i - 20) * 441))
            << "buffer " << i;
    }
}

}  // namespace
