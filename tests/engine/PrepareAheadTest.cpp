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
#include <thread>
#include <vector>

#include <feed/feed.h>

#include "tests/tarn/TestMedia.h"

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

// Waits, inside the first callback of a timeline, for the next clip's file to be opened.
bool OpensWhileTheFirstClipPlays(const std::string& next) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!IsOpen(next) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(2ms);
    }
    return IsOpen(next);
}

struct Host {
    std::string nextVideo;
    std::string nextAudio;
    std::atomic<int> frames{0};
    std::atomic<int> buffers{0};
    std::atomic<bool> videoOpenedAhead{false};
    std::atomic<bool> audioOpenedAhead{false};
    std::mutex mutex;
    std::vector<int> frameIndices;       // the bar code each frame carries
    std::vector<std::int16_t> leftAtMs;  // the left sample at the start of each buffer
};

std::intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length, int32_t,
                                int32_t width, int32_t height) {
    auto& host = *static_cast<Host*>(user);
    if (host.frames++ == 0) {
        host.videoOpenedAhead = OpensWhileTheFirstClipPlays(host.nextVideo);
    }
    const std::vector<std::uint8_t> pixels(frame, frame + length);
    const std::lock_guard<std::mutex> lock(host.mutex);
    host.frameIndices.push_back(testmedia::FrameIndex(pixels, width, height));
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t, int32_t, int32_t, int32_t,
                           int32_t) {
    auto& host = *static_cast<Host*>(user);
    if (host.buffers++ == 0) {
        host.audioOpenedAhead = OpensWhileTheFirstClipPlays(host.nextAudio);
    }
    std::int16_t left;
    std::memcpy(&left, buffer, sizeof left);
    const std::lock_guard<std::mutex> lock(host.mutex);
    host.leftAtMs.push_back(left);
    return 0;
}

TEST(PrepareAheadTest, TheNextClipIsOpenedWhileTheCurrentOnePlaysAndJoinsExactly) {
    const testmedia::Files& media = Media();
    Host host;
    host.nextVideo = media.videoOnly;
    host.nextAudio = media.ramp;

    FeedHandle feed = FeedCreate();
    FeedSetVideoSize(feed, testmedia::kSmallWidth, testmedia::kSmallHeight);
    FeedSetFrameRate(feed, 25.0);
    FeedSetAudioSampleRate(feed, testmedia::kRampRate);
    FeedSetAudioChannels(feed, 2);
    FeedSetSyncEnabled(feed, 0);  // each timeline's first callback waits on its own
    FeedSetVideoCallback(feed, OnFrame, &host);
    FeedSetAudioCallback(feed, OnBuffer, &host);
    // Video: av.mp4's frames 0-9, then video_only.mkv from its frame 30 (mid-GOP).
    ASSERT_GT(FeedAddVideoSource(feed, media.av.c_str(), 0, 400), 0);
    ASSERT_GT(FeedAddVideoSource(feed, media.videoOnly.c_str(), 1200, 1600), 0);
    // Audio: 200 ms of the tone, then the ramp from 0.5 s on.
    ASSERT_GT(FeedAddAudioSource(feed, media.av.c_str(), 0, 200), 0);
    ASSERT_GT(FeedAddAudioSource(feed, media.ramp.c_str(), 500, 1000), 0);
    ASSERT_EQ(FeedStart(feed), 1);
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (FeedGetState(feed) != FEED_STATE_IDLE && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    FeedDestroy(feed);

    EXPECT_TRUE(host.videoOpenedAhead) << "video_only.mkv was not opened before it was due";
    EXPECT_TRUE(host.audioOpenedAhead) << "ramp.wav was not opened before it was due";
    ASSERT_EQ(host.frameIndices.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(host.frameIndices[static_cast<std::size_t>(i)], i < 10 ? i : 30 + (i - 10))
            << "frame " << i;
    }
    // The ramp enters at its sample 22050 exactly, at the first buffer after the tone's 200 ms
    // (the audio timeline is padded to the video's 800 ms: 80 buffers of 10 ms).
    ASSERT_EQ(host.leftAtMs.size(), 80u);
    for (std::size_t i = 20; i < 70; ++i) {
        EXPECT_EQ(host.leftAtMs[i], testmedia::RampLeft(22050 + static_cast<int>(i - 20) * 441))
            << "buffer " << i;
    }
}

}  // namespace
