// Real sessions through libfeed and libtarn on synthetic lavfi media: the counts and times a
// host receives, fades visible in pixels and samples, a missing file as black, and pause,
// resume and stop from the host's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <feed/feed.h>

namespace {

using namespace std::chrono_literals;

constexpr const char* kPattern = "lavfi:testsrc2=size=320x240:rate=25:duration=12";
constexpr const char* kTone = "lavfi:sine=frequency=440:sample_rate=44100:duration=12";

struct Host {
    std::atomic<int> frames{0};
    std::atomic<std::int64_t> sampleFrames{0};
    std::atomic<std::int32_t> lastVideoMs{-1};
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> keptFrames;  // frames whose index is asked for
    std::vector<int> keep;
    std::vector<int> peakPerBuffer;  // largest sample magnitude of each buffer
    std::vector<std::int32_t> bufferMs;
    std::atomic<int> frameDelayMs{0};  // a host that takes its time over each frame
};

std::intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length,
                                int32_t positionMs, int32_t, int32_t) {
    auto& host = *static_cast<Host*>(user);
    const int index = host.frames++;
    host.lastVideoMs = positionMs;
    std::this_thread::sleep_for(std::chrono::milliseconds(host.frameDelayMs.load()));
    std::lock_guard<std::mutex> lock(host.mutex);
    for (const int wanted : host.keep) {
        if (wanted == index) {
            host.keptFrames.emplace_back(frame, frame + length);
        }
    }
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length, int32_t positionMs,
                           int32_t, int32_t, int32_t channels) {
    auto& host = *static_cast<Host*>(user);
    host.sampleFrames += length / (2 * channels);
    int peak = 0;
    for (int32_t i = 0; i + 1 < length; i += 2) {
        std::int16_t sample;
        std::memcpy(&sample, buffer + i, 2);
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    std::lock_guard<std::mutex> lock(host.mutex);
    host.peakPerBuffer.push_back(peak);
    host.bufferMs.push_back(positionMs);
    return 0;
}

class FeedEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        feed = FeedCreate();
        ASSERT_NE(feed, nullptr);
        FeedSetVideoCallback(feed, OnFrame, &host);
        FeedSetAudioCallback(feed, OnBuffer, &host);
        FeedSetVideoSize(feed, 320, 240);
        FeedSetFrameRate(feed, 25.0);
    }
    void TearDown() override { FeedDestroy(feed); }

    bool RunToEnd() {
        if (FeedStart(feed) != 1) {
            return false;
        }
        const auto until = std::chrono::steady_clock::now() + 120s;
        while (FeedGetState(feed) != FEED_STATE_IDLE && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(5ms);
        }
        return FeedGetState(feed) == FEED_STATE_IDLE;
    }

    FeedHandle feed = nullptr;
    Host host;
};

bool AllPixelsAre(const std::vector<std::uint8_t>& frame, std::uint32_t colour) {
    for (std::size_t i = 0; i + 3 < frame.size(); i += 4) {
        std::uint32_t pixel;
        std::memcpy(&pixel, &frame[i], 4);
        if ((pixel & 0x00FFFFFFu) != colour) {
            return false;
        }
    }
    return true;
}

TEST_F(FeedEndToEndTest, TheTypicalSessionDeliversExactCountsOnTheGridAndPadsTheAudio) {
    ASSERT_EQ(FeedAddVideoSource(feed, kPattern, 0, 5000), 1);
    ASSERT_EQ(FeedAddAudioSource(feed, kTone, 1000, 4000), 2);
    ASSERT_EQ(FeedStart(feed), 1);
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (FeedGetDuration(feed) == -1 && FeedGetState(feed) != FEED_STATE_IDLE &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(FeedGetDuration(feed), 5000);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(host.frames.load(), 125);
    EXPECT_EQ(host.lastVideoMs.load(), 4960);
    EXPECT_EQ(host.sampleFrames.load(), 220'500);
    std::lock_guard<std::mutex> lock(host.mutex);
    ASSERT_EQ(host.peakPerBuffer.size(), 500u);
    EXPECT_GT(host.peakPerBuffer[10], 1000);  // the tone
    EXPECT_EQ(host.peakPerBuffer[350], 0);    // the padding after 3 s is silence
    EXPECT_EQ(host.bufferMs[300], 3000);
}

TEST_F(FeedEndToEndTest, FadesShowInThePixelsAndTheSamples) {
    FeedAddVideoSource(feed, kPattern, 0, 2000);
    FeedAddAudioSource(feed, kTone, 0, 2000);
    FeedSetVideoFade(feed, 1, 1000, 0x00FF0000, 1, 1000, 0x000000FF);
    FeedSetAudioFade(feed, 1, 1000, 0, 1000);
    host.keep = {0, 10, 49};
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(host.keptFrames.size(), 3u);
    EXPECT_TRUE(AllPixelsAre(host.keptFrames[0], 0x00FF0000));  // fully the fade-in colour
    EXPECT_FALSE(AllPixelsAre(host.keptFrames[1], 0x00FF0000));
    // The last frame, 40 ms before the end, is almost the fade-out colour.
    int nearBlue = 0;
    for (std::size_t i = 0; i + 3 < host.keptFrames[2].size(); i += 4) {
        nearBlue += host.keptFrames[2][i] >= 240 && host.keptFrames[2][i + 2] <= 15 ? 1 : 0;
    }
    EXPECT_GT(nearBlue, 320 * 240 * 9 / 10);
    // The audio rises over its first second.
    EXPECT_LT(host.peakPerBuffer[1], host.peakPerBuffer[50] / 10);
    EXPECT_GT(host.peakPerBuffer[99], host.peakPerBuffer[50]);
}

TEST_F(FeedEndToEndTest, AFileThatDoesNotOpenIsBlackForItsSpan) {
    FeedAddVideoSource(feed, "/nonexistent/missing.mp4", 0, 1000);
    FeedAddVideoSource(feed, kPattern, 0, 1000);
    host.keep = {0, 24, 25};
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 50);
    ASSERT_EQ(host.keptFrames.size(), 3u);
    EXPECT_TRUE(AllPixelsAre(host.keptFrames[0], 0));
    EXPECT_TRUE(AllPixelsAre(host.keptFrames[1], 0));
    EXPECT_FALSE(AllPixelsAre(host.keptFrames[2], 0));
}

TEST_F(FeedEndToEndTest, PauseResumeAndStopFromTheHostThread) {
    FeedAddVideoSource(feed, kPattern, 0, 10000);
    FeedAddAudioSource(feed, kTone, 0, 10000);
    host.frameDelayMs = 10;  // 250 frames take the session at least 2.5 s
    ASSERT_EQ(FeedStart(feed), 1);
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (host.frames < 20 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(FeedPause(feed), 1);
    std::this_thread::sleep_for(400ms);  // the worker pauses the engine at its next poll
    const int paused = host.frames;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(host.frames.load(), paused);
    ASSERT_EQ(FeedStart(feed), 1);
    while (host.frames < paused + 10 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(host.frames.load(), paused + 10);
    const auto stopAt = std::chrono::steady_clock::now();
    EXPECT_EQ(FeedStop(feed), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);
    const int stopped = host.frames;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(host.frames.load(), stopped);
    EXPECT_LT(stopped, 250);
}

TEST_F(FeedEndToEndTest, AFormatBeyondTheEnginesLimitsEndsTheSessionWhileItIsBuilt) {
    FeedAddVideoSource(feed, kPattern, 0, 1000);
    ASSERT_EQ(FeedSetVideoSize(feed, 20000, 240), 1);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 0);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);  // a session that cannot be built is not reported
}

TEST_F(FeedEndToEndTest, SpansOutsideTheMediaAreBlackAndSilentButKeepTheirLength) {
    // 1 s before the file's start, then 1 s past the end of a 12 s source.
    FeedAddVideoSource(feed, kPattern, -1000, 1000);
    FeedAddVideoSource(feed, kPattern, 11500, 13500);
    FeedAddAudioSource(feed, kTone, -1000, 1000);
    FeedAddAudioSource(feed, kTone, 11500, 13500);
    host.keep = {0, 24, 25, 60, 80};
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 100);
    EXPECT_EQ(host.sampleFrames.load(), 4 * 44100);
    ASSERT_EQ(host.keptFrames.size(), 5u);
    EXPECT_TRUE(AllPixelsAre(host.keptFrames[0], 0));  // before the file starts
    EXPECT_TRUE(AllPixelsAre(host.keptFrames[1], 0));
    EXPECT_FALSE(AllPixelsAre(host.keptFrames[2], 0));  // the file's first second
    EXPECT_FALSE(AllPixelsAre(host.keptFrames[3], 0));  // its last half second
    EXPECT_TRUE(AllPixelsAre(host.keptFrames[4], 0));   // past its end
    EXPECT_EQ(host.peakPerBuffer[50], 0);
    EXPECT_GT(host.peakPerBuffer[150], 1000);
    EXPECT_GT(host.peakPerBuffer[230], 1000);
    EXPECT_EQ(host.peakPerBuffer[350], 0);
}

TEST_F(FeedEndToEndTest, HostileNamesOpenNothingAndGiveBlack) {
    for (const char* name :
         {"concat:/etc/hostname|/etc/hostname", "http://127.0.0.1:9/a.mp4", "pipe:0",
          "subfile,,start,0,end,100,,:/etc/hostname", "/dev/zero", "/etc/hostname", ""}) {
        FeedAddVideoSource(feed, name, 0, 200);
    }
    host.keep = {0, 10, 20, 30};
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 35);
    for (const auto& frame : host.keptFrames) {
        EXPECT_TRUE(AllPixelsAre(frame, 0));
    }
}

TEST_F(FeedEndToEndTest, SurroundSourcesAreMixedDownToTheOutputChannels) {
    FeedAddAudioSource(feed,
                       "lavfi:sine=frequency=440:sample_rate=48000:duration=2,"
                       "pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0",
                       0, 1000);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.sampleFrames.load(), 44100);  // resampled to the default 44.1 kHz stereo
    ASSERT_EQ(host.peakPerBuffer.size(), 100u);
    EXPECT_GT(host.peakPerBuffer[50], 2000);   // heard, not lost in the mix
    EXPECT_LT(host.peakPerBuffer[50], 32767);  // and not clipped
}

}  // namespace
