// The audio reader's clocks without media: conversions between 100-ns units, source samples
// and output frames with their rounding, and where the source-sample clock puts a timestamp,
// how coarse its time base is, and the grid of packet starts it takes from the first packet.
#include "tarn/audio/SourceSampleClock.h"

#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarn {

namespace {

TEST(SourceSampleClockTest, ConversionsRoundToTheNearestWithHalvesAwayFromZero) {
    // 100-ns units to sample frames: 250 units at 20 kHz are half a sample.
    EXPECT_EQ(SourceSamplesNearest(Units(250), 20000), SourceSamples(1));
    EXPECT_EQ(SourceSamplesNearest(Units(-250), 20000), SourceSamples(-1));
    EXPECT_EQ(SourceSamplesNearest(Units(249), 20000), SourceSamples(0));
    EXPECT_EQ(SourceSamplesNearest(Units(-3'333'333), 48000), SourceSamples(-16000));
    EXPECT_EQ(OutputFramesNearest(Units(-249), 20000), OutputFrames(0));
    EXPECT_EQ(OutputFramesNearest(Units(10'000'000), 44100), OutputFrames(44100));
    // Between the sample clocks: exact on both grids, else the nearest.
    EXPECT_EQ(OutputFramesNearest(SourceSamples(-441), 44100, 48000), OutputFrames(-480));
    EXPECT_EQ(OutputFramesNearest(SourceSamples(1), 44100, 48000), OutputFrames(1));
    EXPECT_EQ(SourceSamplesNearest(OutputFrames(480), 48000, 44100), SourceSamples(441));
    EXPECT_EQ(SourceSamplesNearest(OutputFrames(-1), 48000, 22050), SourceSamples(0));
}

struct StreamCase {
    AVCodecID codec;
    AVRational timeBase;
    int rate;
    int initialPadding;
    std::int64_t origin;       // 100-ns units
    std::int64_t firstPacket;  // in the time base
    std::int64_t timestamp;    // in the time base
    std::int64_t position;     // where the clock puts `timestamp`
    std::int64_t tick;
    std::int64_t gridOrigin;  // 0 and granule 0 when there is no grid
    std::int64_t granule;
};

TEST(SourceSampleClockTest, PlacesTimestampsAndTakesTheGridFromTheFirstPacket) {
    const StreamCase cases[] = {
        // Matroska's milliseconds: a tick of 48 samples, 44.1 rounded up to 45.
        {AV_CODEC_ID_PCM_S16LE, {1, 1000}, 48000, 0, 0, AV_NOPTS_VALUE, 1000, 48000, 48, 0, 0},
        {AV_CODEC_ID_PCM_S16LE, {1, 1000}, 44100, 0, 0, AV_NOPTS_VALUE, 7, 309, 45, 0, 0},
        // A source whose time 0 lies half a second into the stream's clock.
        {AV_CODEC_ID_PCM_S16LE,
         {1, 44100},
         44100,
         0,
         5'000'000,
         AV_NOPTS_VALUE,
         44100,
         22050,
         1,
         0,
         0},
        // Opus in Matroska: the first packet one codec delay (312 samples) before 0, which
        // milliseconds put at -336: the grid starts at -312 exactly.
        {AV_CODEC_ID_OPUS, {1, 1000}, 48000, 312, 0, -7, 20, 960, 48, -312, 120},
        // Without a delay to go by, the first packet's own time starts the grid.
        {AV_CODEC_ID_OPUS, {1, 1000}, 48000, 0, 0, -7, 20, 960, 48, -336, 120},
        // A rate no real audio has gives no grid.
        {AV_CODEC_ID_PCM_S16LE, {1, 1000}, 10'000'000, 0, 0, 0, 1, 10000, 10000, 0, 0},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> context(
            avformat_alloc_context(), avformat_free_context);
        ASSERT_NE(context, nullptr);
        AVStream* stream = avformat_new_stream(context.get(), nullptr);
        ASSERT_NE(stream, nullptr);
        stream->time_base = c.timeBase;
        stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        stream->codecpar->codec_id = c.codec;
        stream->codecpar->sample_rate = c.rate;
        stream->codecpar->initial_padding = c.initialPadding;

        SourceSampleClock clock;
        clock.Start(stream, Units(c.origin), c.firstPacket);
        EXPECT_EQ(clock.Position(c.timestamp, c.rate), SourceSamples(c.position));
        EXPECT_EQ(clock.Tick(c.rate), SourceSamples(c.tick));
        EXPECT_EQ(clock.grid().origin, SourceSamples(c.gridOrigin));
        EXPECT_EQ(clock.grid().granule, SourceSamples(c.granule));
    }
}

TEST(SourceSampleClockTest, RoundingReachesTwoTicksAndGapsStartPastTwentyMilliseconds) {
    EXPECT_EQ(SourceSampleClock::RoundingReach(SourceSamples(45)), SourceSamples(90));
    EXPECT_EQ(SourceSampleClock::GapAt(48000), SourceSamples(960));
    EXPECT_EQ(SourceSampleClock::GapAt(44100), SourceSamples(882));
}

}  // namespace

}  // namespace tarn
