// Frame and sample positions: exact from their index, never accumulated, so long timelines do
// not drift.
#include <gtest/gtest.h>

#include "tarn/TimelineGrid.h"

namespace tarn {

namespace {

TEST(TimelineGridTest, FramesSitOnTheRoundedGridOfTheirIndex) {
    const FrameGrid pal = FrameGrid::FromRate(25.0);
    EXPECT_EQ(pal.FrameStart(0), 0);
    EXPECT_EQ(pal.FrameStart(1), 400'000);
    EXPECT_EQ(pal.FrameCount(50'000'000), 125);  // 5 s
    EXPECT_EQ(pal.FrameCount(50'000'001), 126);  // a frame that starts before the end counts
    EXPECT_EQ(pal.FrameCount(0), 0);

    const FrameGrid ntsc = FrameGrid::FromRate(30000.0 / 1001.0);
    EXPECT_EQ(ntsc.FrameStart(1), 333'667);  // 333,666.67 rounded
    EXPECT_EQ(ntsc.FrameStart(2), 667'333);
    // Ten hours on: still exactly k x 1001 / 30000 s, with no error carried from frame to frame.
    const std::int64_t k = 1'078'920;
    EXPECT_EQ(ntsc.FrameStart(k), (k * 10'010'000'000 + 15'000) / 30'000);
    EXPECT_EQ(ntsc.FrameCount(ntsc.FrameStart(k)), k);
    EXPECT_EQ(ntsc.FrameCount(ntsc.FrameStart(k) + 1), k + 1);
}

TEST(TimelineGridTest, SampleCountsComeFromTheLengthAndBuffersAreTenMilliseconds) {
    const SampleGrid cd(44100);
    EXPECT_EQ(cd.SampleAt(50'000'000), 220'500);
    EXPECT_EQ(cd.SampleAt(400'000'000), 1'764'000);  // 40 s
    EXPECT_EQ(cd.TimeOf(441), 100'000);
    EXPECT_EQ(cd.TimeOf(1), 227);  // 226.76 rounded
    EXPECT_EQ(cd.BufferFrames(), 441);
    EXPECT_EQ(SampleGrid(22050).BufferFrames(), 220);
    EXPECT_EQ(SampleGrid(8000).BufferFrames(), 80);
    EXPECT_EQ(SampleGrid(50).BufferFrames(), 1);
    // Ten hours at 48 kHz land on the exact sample.
    EXPECT_EQ(SampleGrid(48000).SampleAt(36'000 * 10'000'000LL), 1'728'000'000);
}

}  // namespace

}  // namespace tarn
