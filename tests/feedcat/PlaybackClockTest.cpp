// The playback clock against scripted device callbacks and times: what the picture is shown
// against when the sound runs short, is paused, or has ended.
#include <gtest/gtest.h>

#include "play/PlaybackClock.h"

namespace feedcat_test {
namespace {

using feedcat::PlaybackClock;
using Ms = std::chrono::milliseconds;

constexpr std::int32_t kRate = 1000;  // one sample frame per ms keeps the figures readable
constexpr std::int32_t kChunk = 20;   // the device takes 20 ms at a time

const PlaybackClock::TimePoint kZero{};

TEST(PlaybackClock, FollowsTheSoundTheDeviceTookAndWaitsWhenItRunsShort) {
    PlaybackClock clock;
    clock.FollowAudio(kRate, kChunk);
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero), -20.0) << "before any sound: one chunk before 0";
    clock.ChunkConsumed(kChunk, kZero);
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(5)), -15.0);
    clock.ChunkConsumed(kChunk, kZero + Ms(20));
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(30)), 10.0);
    // Only 5 ms of the feed in this chunk: the clock stops where they end.
    clock.ChunkConsumed(5, kZero + Ms(40));
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(60)), 25.0);
    clock.ChunkConsumed(0, kZero + Ms(60));
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(100)), 25.0);
    // The feed catches up: on from where it stood.
    clock.ChunkConsumed(kChunk, kZero + Ms(100));
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(110)), 35.0);
}

TEST(PlaybackClock, PauseHoldsItAndResumeGoesOnWhereItStood) {
    PlaybackClock audio;
    audio.FollowAudio(kRate, kChunk);
    audio.ChunkConsumed(kChunk, kZero);
    audio.ChunkConsumed(kChunk, kZero + Ms(20));
    audio.Pause(kZero + Ms(25));
    EXPECT_DOUBLE_EQ(audio.NowMs(kZero + Ms(500)), 5.0);
    audio.Resume(kZero + Ms(1000));
    EXPECT_DOUBLE_EQ(audio.NowMs(kZero + Ms(1000)), 5.0);
    EXPECT_DOUBLE_EQ(audio.NowMs(kZero + Ms(1010)), 15.0);

    // The wall clock, started by a delivery that came while paused, runs from the resume.
    PlaybackClock wall;
    EXPECT_EQ(wall.NowMs(kZero), PlaybackClock::kNotStarted);
    wall.Pause(kZero + Ms(10));
    wall.StartAt(1000.0, kZero + Ms(50));
    wall.Resume(kZero + Ms(300));
    EXPECT_DOUBLE_EQ(wall.NowMs(kZero + Ms(340)), 1040.0);
}

TEST(PlaybackClock, RunsOnByItselfOnceTheSoundHasEnded) {
    PlaybackClock clock;
    clock.FollowAudio(kRate, kChunk);
    clock.ChunkConsumed(kChunk, kZero);
    clock.ChunkConsumed(10, kZero + Ms(20));  // the last of the feed's sound
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(100)), 10.0);
    // A last frame at 15 ms would wait for ever on the device's silence.
    clock.RunFreely(kZero + Ms(100));
    EXPECT_DOUBLE_EQ(clock.NowMs(kZero + Ms(105)), 15.0);
}

}  // namespace
}  // namespace feedcat_test
