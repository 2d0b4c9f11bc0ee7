// Real sessions through libfeed and libtarn on synthetic lavfi media: the counts and times a
// host receives, fades visible in pixels and samples, a missing file as black, and pause,
// resume and stop from the host's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <feed/feed.h>

#include "tests/support/EngineHost.h"
#include "tests/support/Waiting.h"
#include "tests/support/media/TestMedia.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kPattern = "lavfi:testsrc2=size=320x240:rate=25:duration=12";
constexpr const char* kTone = "lavfi:sine=frequency=440:sample_rate=44100:duration=12";

// What the tests look at beyond the counts: frames whose index is asked for, the loudness and
// time of each buffer; and a host that takes its time over each frame.
struct Seen {
    std::atomic<std::int32_t> lastVideoMs{-1};
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> keptFrames;  // frames whose index is asked for
    std::vector<int> keep;
    std::vector<int> peakPerBuffer;  // largest sample magnitude of each buffer
    std::vector<std::int32_t> bufferMs;
    std::atomic<int> frameDelayMs{0};  // a host that takes its time over each frame
};

class FeedEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(feed, nullptr);
        host.onFrame = [this](const support::FrameArrival& frame) {
            seen.lastVideoMs = frame.positionMs;
            std::this_thread::sleep_for(std::chrono::milliseconds(seen.frameDelayMs.load()));
            std::lock_guard<std::mutex> lock(seen.mutex);
            for (const int wanted : seen.keep) {
                if (wanted == frame.index) {
                    seen.keptFrames.emplace_back(frame.pixels, frame.pixels + frame.length);
                }
            }
        };
        host.onBuffer = [this](const support::BufferArrival& buffer) {
            int peak = 0;
            for (int32_t i = 0; i + 1 < buffer.length; i += 2) {
                std::int16_t sample;
                std::memcpy(&sample, buffer.samples + i, 2);
                peak = std::max(peak, std::abs(static_cast<int>(sample)));
            }
            std::lock_guard<std::mutex> lock(seen.mutex);
            seen.peakPerBuffer.push_back(peak);
            seen.bufferMs.push_back(buffer.positionMs);
        };
    }

    bool RunToEnd() { return host.Play(120s); }

    Seen seen;
    // 320x240 at 25 fps; the audio format stays the feed's default.
    support::EngineHost host{{320, 240, 25.0, std::nullopt, std::nullopt}};
    FeedHandle feed = host.feed();
};

// The last session's end reason and its message.
std::pair<FeedEndReason, std::string> EndOf(FeedHandle feed) {
    char message[512];
    const FeedEndReason reason = FeedGetEndReason(feed, message, sizeof message);
    return {reason, message};
}

FeedSourceOutcome OutcomeOf(FeedHandle feed, std::int32_t id) {
    FeedSourceOutcome outcome{};
    outcome.size = sizeof outcome;
    EXPECT_EQ(FeedGetSourceOutcome(feed, id, &outcome), 1) << "source " << id;
    return outcome;
}

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
    support::Eventually(
        [&] { return FeedGetDuration(feed) != -1 || FeedGetState(feed) == FEED_STATE_IDLE; }, 30s,
        1ms);
    EXPECT_EQ(FeedGetDuration(feed), 5000);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(host.frames.load(), 125);
    EXPECT_EQ(seen.lastVideoMs.load(), 4960);
    EXPECT_EQ(host.sampleFrames.load(), 220'500);
    std::lock_guard<std::mutex> lock(seen.mutex);
    ASSERT_EQ(seen.peakPerBuffer.size(), 500u);
    EXPECT_GT(seen.peakPerBuffer[10], 1000);  // the tone
    EXPECT_EQ(seen.peakPerBuffer[350], 0);    // the padding after 3 s is silence
    EXPECT_EQ(seen.bufferMs[300], 3000);
}

TEST_F(FeedEndToEndTest, FadesShowInThePixelsAndTheSamples) {
    FeedAddVideoSource(feed, kPattern, 0, 2000);
    FeedAddAudioSource(feed, kTone, 0, 2000);
    FeedSetVideoFade(feed, 1, 1000, 0x00FF0000, 1, 1000, 0x000000FF);
    FeedSetAudioFade(feed, 1, 1000, 0, 1000);
    seen.keep = {0, 10, 49};
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(seen.keptFrames.size(), 3u);
    EXPECT_TRUE(AllPixelsAre(seen.keptFrames[0], 0x00FF0000));  // fully the fade-in colour
    EXPECT_FALSE(AllPixelsAre(seen.keptFrames[1], 0x00FF0000));
    // The last frame, 40 ms before the end, is almost the fade-out colour.
    int nearBlue = 0;
    for (std::size_t i = 0; i + 3 < seen.keptFrames[2].size(); i += 4) {
        nearBlue += seen.keptFrames[2][i] >= 240 && seen.keptFrames[2][i + 2] <= 15 ? 1 : 0;
    }
    EXPECT_GT(nearBlue, 320 * 240 * 9 / 10);
    // The audio rises over its first second.
    EXPECT_LT(seen.peakPerBuffer[1], seen.peakPerBuffer[50] / 10);
    EXPECT_GT(seen.peakPerBuffer[99], seen.peakPerBuffer[50]);
}

TEST_F(FeedEndToEndTest, AFileThatDoesNotOpenIsBlackForItsSpan) {
    FeedAddVideoSource(feed, "/nonexistent/missing.mp4", 0, 1000);
    FeedAddVideoSource(feed, kPattern, 0, 1000);
    seen.keep = {0, 24, 25};
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 50);
    ASSERT_EQ(seen.keptFrames.size(), 3u);
    EXPECT_TRUE(AllPixelsAre(seen.keptFrames[0], 0));
    EXPECT_TRUE(AllPixelsAre(seen.keptFrames[1], 0));
    EXPECT_FALSE(AllPixelsAre(seen.keptFrames[2], 0));
}

TEST_F(FeedEndToEndTest, PauseResumeAndStopFromTheHostThread) {
    FeedAddVideoSource(feed, kPattern, 0, 10000);
    FeedAddAudioSource(feed, kTone, 0, 10000);
    seen.frameDelayMs = 10;  // 250 frames take the session at least 2.5 s
    ASSERT_EQ(FeedStart(feed), 1);
    const auto framesReach = [&](int count) {
        return support::Eventually([&] { return host.frames >= count; }, 30s, 1ms);
    };
    framesReach(20);
    ASSERT_EQ(FeedPause(feed), 1);
    std::this_thread::sleep_for(400ms);  // the worker pauses the engine at its next poll
    const int paused = host.frames;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(host.frames.load(), paused);
    ASSERT_EQ(FeedStart(feed), 1);
    framesReach(paused + 10);
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
    // but the feed can say why it delivered nothing.
    const auto [reason, message] = EndOf(feed);
    EXPECT_EQ(reason, FEED_END_NOT_BUILT);
    EXPECT_NE(message.find("refused the video output format (20000x240 pixels at 25 fps"),
              std::string::npos)
        << message;
}

// After the session, each source's outcome says whether it played as asked and, if not, why;
// the end reason names the first that did not.
TEST_F(FeedEndToEndTest, EachSourcesOutcomeSaysWhyItDidNotPlayAsAsked) {
    const testmedia::Files& media = testmedia::Media();
    struct Case {
        std::string name;
        std::int32_t stopMs;
        std::int32_t outcome;
        const char* says;  // part of the message; "" for none
        std::int32_t lengthMs;
    };
    const Case cases[] = {
        {media.av, 2000, FEED_OUTCOME_PLAYED, "", 3000},
        {media.av, 5000, FEED_OUTCOME_CUT_AT_END, "but its video ends at 3.000 s", 3000},
        {media.missing, 1000, FEED_OUTCOME_NOT_OPENED, "could not be opened: no such file", -1},
        {media.directory, 1000, FEED_OUTCOME_NOT_OPENED, "not a regular local file", -1},
        {media.random, 1000, FEED_OUTCOME_NOT_OPENED, "not a media file", -1},
        {media.tone22k, 1000, FEED_OUTCOME_NO_STREAM, "has no video stream", -1},
    };
    for (const Case& c : cases) {
        FeedAddVideoSource(feed, c.name.c_str(), 0, c.stopMs);
    }
    ASSERT_TRUE(RunToEnd());
    for (std::int32_t id = 1; id <= static_cast<std::int32_t>(std::size(cases)); ++id) {
        const Case& c = cases[id - 1];
        const FeedSourceOutcome outcome = OutcomeOf(feed, id);
        EXPECT_EQ(outcome.outcome, c.outcome) << c.name;
        EXPECT_NE(std::string(outcome.message).find(c.says), std::string::npos) << outcome.message;
        EXPECT_EQ(*c.says == '\0', outcome.message[0] == '\0') << outcome.message;
        EXPECT_EQ(outcome.streamLengthMs, c.lengthMs) << c.name;
    }
    const auto [reason, message] = EndOf(feed);
    EXPECT_EQ(reason, FEED_END_FINISHED);
    EXPECT_EQ(message, std::string(OutcomeOf(feed, 2).message) +
                           " (and 4 more sources that did not play as asked)");
}

TEST_F(FeedEndToEndTest, SpansOutsideTheMediaAreBlackAndSilentButKeepTheirLength) {
    // 1 s before the file's start, then 1 s past the end of a 12 s source.
    FeedAddVideoSource(feed, kPattern, -1000, 1000);
    FeedAddVideoSource(feed, kPattern, 11500, 13500);
    FeedAddAudioSource(feed, kTone, -1000, 1000);
    FeedAddAudioSource(feed, kTone, 11500, 13500);
    seen.keep = {0, 24, 25, 60, 80};
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 100);
    EXPECT_EQ(host.sampleFrames.load(), 4 * 44100);
    ASSERT_EQ(seen.keptFrames.size(), 5u);
    EXPECT_TRUE(AllPixelsAre(seen.keptFrames[0], 0));  // before the file starts
    EXPECT_TRUE(AllPixelsAre(seen.keptFrames[1], 0));
    EXPECT_FALSE(AllPixelsAre(seen.keptFrames[2], 0));  // the file's first second
    EXPECT_FALSE(AllPixelsAre(seen.keptFrames[3], 0));  // its last half second
    EXPECT_TRUE(AllPixelsAre(seen.keptFrames[4], 0));   // past its end
    EXPECT_EQ(seen.peakPerBuffer[50], 0);
    EXPECT_GT(seen.peakPerBuffer[150], 1000);
    EXPECT_GT(seen.peakPerBuffer[230], 1000);
    EXPECT_EQ(seen.peakPerBuffer[350], 0);
}

TEST_F(FeedEndToEndTest, HostileNamesOpenNothingAndGiveBlack) {
    for (const char* name :
         {"concat:/etc/hostname|/etc/hostname", "http://127.0.0.1:9/a.mp4", "pipe:0",
          "subfile,,start,0,end,100,,:/etc/hostname", "/dev/zero", "/etc/hostname", ""}) {
        FeedAddVideoSource(feed, name, 0, 200);
    }
    seen.keep = {0, 10, 20, 30};
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(host.frames.load(), 35);
    for (const auto& frame : seen.keptFrames) {
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
    ASSERT_EQ(seen.peakPerBuffer.size(), 100u);
    EXPECT_GT(seen.peakPerBuffer[50], 2000);   // heard, not lost in the mix
    EXPECT_LT(seen.peakPerBuffer[50], 32767);  // and not clipped
}

}  // namespace
