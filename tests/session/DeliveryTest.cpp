// Delivery of frames and buffers: positions, sync notifications, the fade windows and levels
// at their boundaries, the audio gains and sample counts, and what goes to host and engine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/TimeUnits.h"
#include "session/Delivery.h"
#include "session/FadeLevels.h"
#include "session/SharedFeedState.h"
#include "tests/fake_engine/FakeEngine.h"

namespace session {

using ::testing::ElementsAre;

namespace {

constexpr std::int64_t kMs = kUnitsPerMs;
constexpr std::uint32_t kColour = 0x00336699;  // B 0x99, G 0x66, R 0x33, X 0x00

// `count` B G R X pixels as the engine delivers them, the fourth byte 0.
std::vector<std::uint8_t> Pixels(std::size_t count) {
    std::vector<std::uint8_t> bytes(count * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = i % 4 == 3 ? 0 : static_cast<std::uint8_t>(i * 37 + 11);
    }
    return bytes;
}

std::vector<std::uint8_t> Blended(const std::vector<std::uint8_t>& source, std::uint32_t colour,
                                  std::int32_t level) {
    std::vector<std::uint8_t> out(source.size());
    FadeBlender().Blend(out.data(), colour, source.data(), static_cast<std::uint32_t>(out.size()),
                        level);
    return out;
}

std::vector<std::uint8_t> Samples(const std::vector<std::int16_t>& values) {
    std::vector<std::uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());  // little-endian host
    return bytes;
}

std::vector<std::int16_t> ValuesOf(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), bytes.size());
    return values;
}

class DeliveryTest : public ::testing::Test {
  protected:
    // The engine delivers while a session runs.
    DeliveryTest() { shared.state.Store(FEED_STATE_RUNNING); }

    // Delivers one frame of `pixels` at startMs; returns what the engine would get back.
    std::intptr_t DeliverFrame(std::vector<std::uint8_t>& pixels, std::int64_t startUnits) {
        return OnVideoFrame(&shared, &videoRecord, pixels.data(),
                            static_cast<std::int32_t>(pixels.size()), startUnits, 400000);
    }

    // The bytes handed on for a frame at startMs (the frame itself or the scratch frame).
    std::vector<std::uint8_t> HandedOn(const std::vector<std::uint8_t>& pixels,
                                       std::int64_t startMs) {
        std::vector<std::uint8_t> copy = pixels;
        const auto* out = reinterpret_cast<const std::uint8_t*>(DeliverFrame(copy, startMs * kMs));
        return {out, out + copy.size()};
    }

    std::intptr_t DeliverBuffer(std::vector<std::uint8_t>& bytes, std::int64_t startMs,
                                std::int64_t duration = 100000) {
        return OnAudioBuffer(&shared, &audioRecord, bytes.data(),
                             static_cast<std::int32_t>(bytes.size()), startMs * kMs, duration);
    }

    // A stereo buffer of `frames` sample frames of (left, right), faded at startMs.
    std::vector<std::int16_t> FadedBuffer(std::int64_t startMs, std::int16_t left,
                                          std::int16_t right, int frames = 441) {
        std::vector<std::int16_t> values;
        for (int i = 0; i < frames; ++i) {
            values.push_back(left);
            values.push_back(right);
        }
        std::vector<std::uint8_t> bytes = Samples(values);
        DeliverBuffer(bytes, startMs);
        return ValuesOf(bytes);
    }

    void SetVideoFade(int fadeIn, int fadeInMs, int fadeOut, int fadeOutMs) {
        shared.fades.videoFadeIn = fadeIn;
        shared.fades.videoFadeInMs = fadeInMs;
        shared.fades.fadeInColour = kColour;
        shared.fades.videoFadeOut = fadeOut;
        shared.fades.videoFadeOutMs = fadeOutMs;
        shared.fades.fadeOutColour = kColour;
    }

    SharedFeedState shared;
    BITMAPINFOHEADER videoRecord{40, 4, 2, 1, 32, 0, 32, 0, 0, 0, 0};
    WAVEFORMATEX audioRecord{1, 2, 44100, 176400, 4, 16, 0};
};

TEST_F(DeliveryTest, WithoutFadesOrCallbacksPositionsAdvanceAndDataIsHandedOnUntouched) {
    shared.durationMs = 10000;
    std::vector<std::uint8_t> pixels = Pixels(8);
    const std::vector<std::uint8_t> original = pixels;
    EXPECT_EQ(DeliverFrame(pixels, 1234 * kMs + 9999),
              reinterpret_cast<std::intptr_t>(pixels.data()));
    EXPECT_EQ(pixels, original);
    EXPECT_EQ(shared.videoPositionMs.load(), 1234);  // truncated
    EXPECT_FALSE(shared.fadeBuffer.allocated());

    std::vector<std::uint8_t> buffer = Samples({1000, -1000});
    EXPECT_EQ(DeliverBuffer(buffer, 250), 0);
    EXPECT_EQ(shared.audioPositionMs.load(), 250);
    EXPECT_THAT(ValuesOf(buffer), ElementsAre(1000, -1000));
}

TEST_F(DeliveryTest, VideoFadeInRisesFromTheColourAndEndsAtItsWindow) {
    shared.durationMs = 10000;
    SetVideoFade(1, 1000, 0, 1000);
    const std::vector<std::uint8_t> pixels = Pixels(8);
    EXPECT_EQ(HandedOn(pixels, 0), Blended(pixels, kColour, 0));
    for (std::size_t i = 0; i < pixels.size(); i += 4) {  // level 0 is the colour alone
        EXPECT_EQ(HandedOn(pixels, 0)[i], 0x99);
        EXPECT_EQ(HandedOn(pixels, 0)[i + 2], 0x33);
    }
    EXPECT_TRUE(shared.fadeBuffer.allocated());
    EXPECT_EQ(HandedOn(pixels, 500), Blended(pixels, kColour, 128));
    EXPECT_EQ(HandedOn(pixels, 999), Blended(pixels, kColour, 255));

    std::vector<std::uint8_t> at1000 = pixels;
    EXPECT_EQ(DeliverFrame(at1000, 1000 * kMs), reinterpret_cast<std::intptr_t>(at1000.data()));
}

TEST_F(DeliveryTest, VideoFadeOutFallsToTheColourAtTheEndAndStaysThere) {
    shared.durationMs = 10000;
    SetVideoFade(0, 1000, 1, 1000);
    const std::vector<std::uint8_t> pixels = Pixels(8);
    std::vector<std::uint8_t> at8999 = pixels;
    EXPECT_EQ(DeliverFrame(at8999, 8999 * kMs), reinterpret_cast<std::intptr_t>(at8999.data()));
    EXPECT_FALSE(shared.fadeBuffer.allocated());

    std::vector<std::uint8_t> at9000 = pixels;
    const std::intptr_t handed = DeliverFrame(at9000, 9000 * kMs);
    EXPECT_NE(handed, reinterpret_cast<std::intptr_t>(at9000.data()));  // a copy, at level 255
    EXPECT_EQ(HandedOn(pixels, 9000), pixels);
    EXPECT_EQ(HandedOn(pixels, 9500), Blended(pixels, kColour, 128));
    EXPECT_EQ(HandedOn(pixels, 9960), Blended(pixels, kColour, 10));
    EXPECT_EQ(HandedOn(pixels, 10000), Blended(pixels, kColour, 0));
    EXPECT_EQ(HandedOn(pixels, 12000), Blended(pixels, kColour, 0));
}

TEST_F(DeliveryTest, OverlappingWindowsGiveTheFadeInFirstThenTheFadeOut) {
    shared.durationMs = 1500;
    SetVideoFade(1, 1000, 1, 1000);
    const std::vector<std::uint8_t> pixels = Pixels(4);
    EXPECT_EQ(HandedOn(pixels, 600), Blended(pixels, kColour, 600 * 256 / 1000));
    EXPECT_EQ(HandedOn(pixels, 1000), Blended(pixels, kColour, 500 * 256 / 1000));
    EXPECT_EQ(HandedOn(pixels, 1200), Blended(pixels, kColour, 300 * 256 / 1000));

    // A fade-out longer than the timeline starts below full level.
    shared.durationMs = 1000;
    SetVideoFade(1, 500, 1, 5000);
    EXPECT_EQ(HandedOn(pixels, 500), Blended(pixels, kColour, 500 * 256 / 5000));
}

TEST_F(DeliveryTest, LongFadesDoNotOverflowTheLevel) {
    // 9,000,000 ms x 256 does not fit in 32 bits.
    shared.durationMs = 20'000'000;
    SetVideoFade(1, 10'000'000, 0, 1000);
    const std::vector<std::uint8_t> pixels = Pixels(4);
    EXPECT_EQ(HandedOn(pixels, 9'000'000), Blended(pixels, kColour, 230));
    SetVideoFade(0, 1000, 1, 10'000'000);
    EXPECT_EQ(HandedOn(pixels, 11'000'000), Blended(pixels, kColour, 230));
}

TEST_F(DeliveryTest, ALongerFrameGrowsTheScratchFrameInsteadOfOverrunningIt) {
    shared.durationMs = 10000;
    SetVideoFade(1, 1000, 0, 1000);
    const std::vector<std::uint8_t> small = Pixels(2);
    const std::vector<std::uint8_t> large = Pixels(64);
    EXPECT_EQ(HandedOn(small, 100), Blended(small, kColour, 25));
    EXPECT_EQ(HandedOn(large, 200), Blended(large, kColour, 51));  // ASan sees any overrun
    EXPECT_EQ(HandedOn(small, 300), Blended(small, kColour, 76));
}

struct FrameSeen {
    void* user = nullptr;
    const std::uint8_t* frame = nullptr;
    std::int32_t length = 0;
    std::int32_t positionMs = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};
FrameSeen gFrameSeen;
std::intptr_t gFrameResult = 0x1234;

std::intptr_t FEED_CALL RecordFrame(void* user, const uint8_t* frame, int32_t length,
                                    int32_t positionMs, int32_t width, int32_t height) {
    gFrameSeen = {user, frame, length, positionMs, width, height};
    return gFrameResult;
}

TEST_F(DeliveryTest, TheHostSeesTheFrameHandedOnAndTheEngineGetsTheHostsResult) {
    shared.durationMs = 10000;
    SetVideoFade(1, 1000, 0, 1000);
    int user = 0;
    shared.callbacks.videoCallback = RecordFrame;
    shared.callbacks.videoUser = &user;
    std::vector<std::uint8_t> pixels = Pixels(8);
    EXPECT_EQ(DeliverFrame(pixels, 500 * kMs), 0x1234);
    EXPECT_EQ(gFrameSeen.user, &user);
    EXPECT_NE(gFrameSeen.frame, pixels.data());  // the blended copy
    EXPECT_EQ(gFrameSeen.length, 32);
    EXPECT_EQ(gFrameSeen.positionMs, 500);
    EXPECT_EQ(gFrameSeen.width, 4);
    EXPECT_EQ(gFrameSeen.height, 2);
    EXPECT_EQ(DeliverFrame(pixels, 2000 * kMs), 0x1234);
    EXPECT_EQ(gFrameSeen.frame, pixels.data());

    // The result is pointer-sized, and goes back whole whatever its top bit: addresses above
    // 2 GB are negative in a 32-bit intptr_t.
    for (const std::intptr_t result : {reinterpret_cast<std::intptr_t>(pixels.data()),
                                       std::intptr_t{INTPTR_MIN}, std::intptr_t{-1}}) {
        gFrameResult = result;
        EXPECT_EQ(DeliverFrame(pixels, 2000 * kMs), result);
    }
    gFrameResult = 0x1234;
}

TEST_F(DeliveryTest, EachDeliveryTellsTheSyncObjectItsStart) {
    fake::engine().reset();
    IAudioVideoSync* sync = nullptr;
    ASSERT_GE(CreateAudioVideoSync(nullptr, &sync), 0);
    shared.syncObject = sync;
    std::vector<std::uint8_t> pixels = Pixels(1);
    std::vector<std::uint8_t> buffer = Samples({0, 0});
    DeliverFrame(pixels, 5000000);
    DeliverBuffer(buffer, 20);
    EXPECT_THAT(fake::engine().syncNotifications(),
                ElementsAre("Y1 video 5000000", "Y1 audio 200000"));
    shared.syncObject.exchange(nullptr)->Release();
    EXPECT_TRUE(fake::engine().faults().empty());
    fake::engine().reset();
}

TEST_F(DeliveryTest, AudioFadeInScalesWholeBuffersByOneGainEach) {
    shared.durationMs = 60000;
    shared.fades.audioFadeIn = 1;  // 3000 ms by default
    // 441 stereo frames at 1000 ms: gain 1001 / 3000.
    EXPECT_THAT(FadedBuffer(1000, 1000, -1000), ::testing::Each(::testing::AnyOf(333, -333)));
    // At 2995 ms the whole buffer, including its part after 3000 ms, gets 2996 / 3000.
    const std::vector<std::int16_t> late = FadedBuffer(2995, 1000, -1000);
    EXPECT_EQ(late.front(), 998);
    EXPECT_EQ(late.back(), -998);
    EXPECT_THAT(FadedBuffer(3005, 1000, -1000), ::testing::Each(::testing::AnyOf(1000, -1000)));
    // The first buffer is not silence: 1 / 3000 of full scale survives.
    EXPECT_EQ(FadedBuffer(0, 32767, -32768).front(), 10);
}

TEST_F(DeliveryTest, AudioFadeOutWindowStartsStrictlyAfterItsStartAndEndsAtTheEnd) {
    shared.durationMs = 60000;
    shared.fades.audioFadeOut = 1;
    EXPECT_THAT(FadedBuffer(57000, 300, -300), ::testing::Each(::testing::AnyOf(300, -300)));
    EXPECT_THAT(FadedBuffer(58000, 300, -300), ::testing::Each(::testing::AnyOf(200, -200)));
    // 5 ms before the end: only the 220 sample frames before the end are scaled (by 6/3000).
    const std::vector<std::int16_t> tail = FadedBuffer(59995, 3000, -3000);
    EXPECT_EQ(tail[0], 6);
    EXPECT_EQ(tail[2 * 219 + 1], -6);
    EXPECT_EQ(tail[2 * 220], 3000);
    EXPECT_THAT(FadedBuffer(60000, 300, -300), ::testing::Each(::testing::AnyOf(300, -300)));
    // Past the end the buffer is silenced, never turned upside down.
    EXPECT_THAT(FadedBuffer(60500, 300, -300), ::testing::Each(0));
}

struct BufferSeen {
    std::int32_t length = 0;
    std::int32_t positionMs = 0;
    std::int32_t bits = 0;
    std::int32_t rate = 0;
    std::int32_t channels = 0;
};
BufferSeen gBufferSeen;

int32_t FEED_CALL RecordBuffer(void*, const uint8_t*, int32_t length, int32_t positionMs,
                               int32_t bits, int32_t rate, int32_t channels) {
    gBufferSeen = {length, positionMs, bits, rate, channels};
    return -7;
}

TEST_F(DeliveryTest, OnlyMonoAndStereoAreFadedAndTheHostGetsTheRecordsFormat) {
    shared.durationMs = 60000;
    shared.fades.audioFadeIn = 1;
    shared.callbacks.audioCallback = RecordBuffer;

    audioRecord.nChannels = 6;
    audioRecord.nSamplesPerSec = 48000;
    std::vector<std::uint8_t> surround = Samples(std::vector<std::int16_t>(12, 1000));
    EXPECT_EQ(DeliverBuffer(surround, 10), -7);
    EXPECT_THAT(ValuesOf(surround), ::testing::Each(1000));
    EXPECT_EQ(gBufferSeen.channels, 6);
    EXPECT_EQ(gBufferSeen.rate, 48000);
    EXPECT_EQ(gBufferSeen.bits, 16);
    EXPECT_EQ(gBufferSeen.length, 24);
    EXPECT_EQ(gBufferSeen.positionMs, 10);

    audioRecord.nChannels = 1;
    std::vector<std::uint8_t> mono = Samples({3000, 3000, -3000});
    DeliverBuffer(mono, 1499);
    EXPECT_THAT(ValuesOf(mono), ElementsAre(1500, 1500, -1500));
}

TEST(FadeLevelsTest, GainsAndCountsFollowThePositionWithinTheWindow) {
    const AudioFadeParams fadeIn{true, 3000, false, 3000};
    const AudioBufferShape stereo10ms{1764, 2, 44100};
    AudioFadeStep step = AudioFadeFor(fadeIn, 1000, 100000, 60000, stereo10ms);
    EXPECT_EQ(step.frames, 441);
    EXPECT_DOUBLE_EQ(step.gain, 1001.0 / 3000.0);
    // The count is limited by the window measured from the timeline's start.
    step = AudioFadeFor({true, 3, false, 3000}, 0, 100000, 60000, stereo10ms);
    EXPECT_EQ(step.frames, 3 * 44100 / 1000);
    // A long fade at a high rate does not overflow the count.
    step = AudioFadeFor({false, 3000, true, 3'000'000}, 1'000'000, 100000, 3'000'000,
                        {1920, 2, 192000});
    EXPECT_EQ(step.frames, 480);
    EXPECT_DOUBLE_EQ(step.gain, 2'000'001.0 / 3'000'000.0);

    EXPECT_EQ(UnitsToMsTruncated(12'345'678), 1234);
    EXPECT_EQ(UnitsToMsTruncated(-12'345'678), -1234);
    // Beyond 24 days of milliseconds the value is clamped, never wrapped negative.
    EXPECT_EQ(UnitsToMsTruncated(2 * std::int64_t{INT32_MAX} * 10'000), INT32_MAX);
    EXPECT_EQ(UnitsToMsTruncated(2 * std::int64_t{INT32_MIN} * 10'000), INT32_MIN);
    EXPECT_EQ(SecondsToUnitsTruncated(MsToSeconds(4000)), 40'000'000);
}

}  // namespace

}  // namespace session
