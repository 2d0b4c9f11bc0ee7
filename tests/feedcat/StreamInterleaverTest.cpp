// The encoder's interleaving of the two streams: items in timeline order, the stream that runs
// ahead held back, both ending together when a run is interrupted, and memory bounded when one
// stream never comes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output/StreamInterleaver.h"

namespace feedcat {
namespace {

MediaItem Frame(std::int32_t positionMs) {
    MediaItem item;
    item.kind = MediaItem::Kind::kVideo;
    item.positionMs = positionMs;
    return item;
}

// A 10 ms stereo buffer at 44,100 Hz.
MediaItem Buffer(std::int32_t positionMs) {
    MediaItem item;
    item.kind = MediaItem::Kind::kAudio;
    item.positionMs = positionMs;
    item.sampleRate = 44100;
    item.channels = 2;
    item.data.resize(441 * 4);
    return item;
}

std::string Order(const std::vector<MediaItem>& items) {
    std::string order;
    for (const MediaItem& item : items) {
        order += (item.kind == MediaItem::Kind::kVideo ? "v" : "a") +
                 std::to_string(item.positionMs) + " ";
    }
    return order;
}

TEST(StreamInterleaverTest, TheStreamAheadWaitsForTheOtherAndBothComeInTimelineOrder) {
    StreamInterleaver interleaver(true, 40.0);
    std::vector<MediaItem> ready;
    for (int ms = 0; ms < 100; ms += 10) {
        interleaver.Add(Buffer(ms), &ready);  // audio runs 100 ms ahead
    }
    EXPECT_TRUE(ready.empty());
    interleaver.Add(Frame(0), &ready);
    interleaver.Add(Frame(40), &ready);
    EXPECT_EQ(Order(ready), "v0 a0 a10 a20 a30 v40 ");
    ready.clear();
    interleaver.Finish(false, &ready);  // the natural end: nothing is dropped
    EXPECT_EQ(Order(ready), "a40 a50 a60 a70 a80 a90 ");
}

TEST(StreamInterleaverTest, AnInterruptedRunEndsBothStreamsWithinOneFrame) {
    for (const bool audioAhead : {true, false}) {
        // Stopped when one stream had reached 400 ms and the other 200 ms.
        const int audioMs = audioAhead ? 400 : 200;
        const int videoMs = audioAhead ? 200 : 400;
        StreamInterleaver interleaver(true, 40.0);
        std::vector<MediaItem> ready;
        for (int ms = 0; ms < std::max(audioMs, videoMs); ms += 10) {
            if (ms < audioMs) {
                interleaver.Add(Buffer(ms), &ready);
            }
            if (ms % 40 == 0 && ms < videoMs) {
                interleaver.Add(Frame(ms), &ready);
            }
        }
        interleaver.Finish(true, &ready);
        double videoEnd = 0.0;
        double audioEnd = 0.0;
        for (const MediaItem& item : ready) {
            const bool video = item.kind == MediaItem::Kind::kVideo;
            double& end = video ? videoEnd : audioEnd;
            end = std::max(end, item.positionMs + (video ? 40.0 : 10.0));
        }
        EXPECT_NEAR(videoEnd, audioEnd, 40.0) << Order(ready);
        EXPECT_EQ(std::min(videoEnd, audioEnd), 200.0) << Order(ready);
    }
}

TEST(StreamInterleaverTest, AStreamThatNeverComesHoldsBackOnlyABoundedAmount) {
    StreamInterleaver interleaver(true, 40.0);
    std::vector<MediaItem> ready;
    for (int ms = 0; ms < 10000; ms += 10) {
        interleaver.Add(Buffer(ms), &ready);
    }
    EXPECT_GE(ready.size(), 1000u - 201u);
    interleaver.Finish(true, &ready);  // no video ever came: nothing sets an end
    EXPECT_EQ(ready.size(), 1000u);

    StreamInterleaver single(false, 40.0);
    std::vector<MediaItem> passed;
    single.Add(Frame(0), &passed);
    EXPECT_EQ(passed.size(), 1u);  // one stream only: nothing to wait for
}

}  // namespace
}  // namespace feedcat
