// The reader through the public header on the real engine: what a host gets from each call,
// and the code and text of each kind of failure.
#include <feed/feed.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/media/TestMedia.h"

namespace {

using testmedia::Media;

// A reader that closes when the test ends.
struct Reader {
    explicit Reader(const std::string& name) : handle(FeedReaderOpen(name.c_str())) {}
    ~Reader() { FeedReaderDestroy(handle); }
    FeedReaderHandle handle;
};

TEST(ReaderApiTest, ReadsWhatTheHeaderPromises) {
    Reader reader(Media().av);
    ASSERT_NE(reader.handle, nullptr);
    ASSERT_EQ(FeedReaderGetErrorCode(reader.handle), FEED_READER_OK);
    FeedMediaInfo media{};
    media.size = sizeof(media);
    ASSERT_EQ(FeedReaderGetMediaInfo(reader.handle, &media), 1);
    EXPECT_EQ(media.streamCount, 2);
    FeedStreamInfo video{};
    video.size = sizeof(video) + 64;  // a later host's larger record: only ours is filled in
    ASSERT_EQ(FeedReaderGetStreamInfo(reader.handle, media.videoStream, 1, &video), 1);
    EXPECT_EQ(video.size, sizeof(video));
    EXPECT_EQ(video.type, FEED_STREAM_VIDEO);
    EXPECT_EQ(video.frameCount, testmedia::kAvFrames);
    EXPECT_EQ(video.frameCountFrom, FEED_FRAME_COUNT_COUNTED);
    EXPECT_DOUBLE_EQ(video.firstFrameSeconds, 0.0);
    EXPECT_DOUBLE_EQ(video.endSeconds, 3.0);

    // The picture's own size, B G R X: the frames' bar codes read back.
    int32_t width = 0;
    int32_t height = 0;
    int64_t frameBytes = 0;
    ASSERT_EQ(FeedReaderSetVideoOutput(reader.handle, 0, 0, 0, 0, FEED_PIXEL_BGRX, 0, &width,
                                       &height, &frameBytes),
              1);
    EXPECT_EQ(frameBytes, int64_t{testmedia::kAvWidth} * testmedia::kAvHeight * 4);
    const std::vector<int64_t> indices = {74, 0, 30};
    std::vector<uint8_t> frames(indices.size() * frameBytes);
    std::vector<double> times(indices.size());
    ASSERT_EQ(FeedReaderReadFrames(reader.handle, indices.data(), 3, frames.data(),
                                   static_cast<int64_t>(frames.size()), times.data()),
              1);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::vector<uint8_t> frame(frames.begin() + i * frameBytes,
                                         frames.begin() + (i + 1) * frameBytes);
        EXPECT_EQ(testmedia::BarCodeIndex(frame, width, height), indices[i]);
        EXPECT_DOUBLE_EQ(times[i], indices[i] * 0.04);
    }
    const double second = 1.0;
    ASSERT_EQ(FeedReaderReadFramesAt(reader.handle, &second, 1, frames.data(), frameBytes, nullptr),
              1);
    EXPECT_EQ(testmedia::BarCodeIndex(
                  std::vector<uint8_t>(frames.begin(), frames.begin() + frameBytes), width, height),
              25);

    // Half the width, the height following the shape, RGB planes.
    ASSERT_EQ(FeedReaderSetVideoOutput(reader.handle, 160, 0, 1, 0, FEED_PIXEL_RGB24, 1, &width,
                                       &height, &frameBytes),
              1);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    EXPECT_EQ(frameBytes, 160 * 120 * 3);
    EXPECT_EQ(
        FeedReaderReadFrames(reader.handle, indices.data(), 1, frames.data(), frameBytes, nullptr),
        1);

    int32_t rate = 0;
    int32_t channels = 0;
    ASSERT_EQ(FeedReaderSetAudioOutput(reader.handle, 8000, 1, &rate, &channels), 1);
    EXPECT_EQ(rate, 8000);
    EXPECT_EQ(channels, 1);
    int64_t sampleFrames = 0;
    std::vector<int16_t> samples(4000);
    ASSERT_EQ(FeedReaderReadAudio(reader.handle, 0.25, 0.75, samples.data(),
                                  static_cast<int64_t>(samples.size() * 2), &sampleFrames),
              1);
    EXPECT_EQ(sampleFrames, 4000);
    EXPECT_NE(samples[2000], 0);  // the tone
}

TEST(ReaderApiTest, EachFailureHasItsCodeAndSaysWhy) {
    const testmedia::Files& files = Media();
    {
        Reader missing(files.missing);
        EXPECT_EQ(FeedReaderGetErrorCode(missing.handle), FEED_READER_E_NOT_FOUND);
        EXPECT_EQ(std::string(FeedReaderGetErrorText(missing.handle)),
                  "no such file: '" + files.missing + "'");
        // Every later call fails the same way.
        FeedMediaInfo media{};
        media.size = sizeof(media);
        EXPECT_EQ(FeedReaderGetMediaInfo(missing.handle, &media), 0);
        EXPECT_EQ(FeedReaderGetErrorCode(missing.handle), FEED_READER_E_NOT_FOUND);
    }
    {
        Reader folder(files.directory);
        EXPECT_EQ(FeedReaderGetErrorCode(folder.handle), FEED_READER_E_CANNOT_OPEN);
        Reader unnamed(std::string{});
        EXPECT_EQ(FeedReaderGetErrorCode(unnamed.handle), FEED_READER_E_NOT_FOUND);
        FeedReaderHandle null = FeedReaderOpen(nullptr);
        EXPECT_EQ(FeedReaderGetErrorCode(null), FEED_READER_E_BAD_ARGUMENT);
        FeedReaderDestroy(null);
    }
    Reader sound(files.ramp);
    EXPECT_EQ(FeedReaderSetVideoOutput(sound.handle, 0, 0, 0, 0, FEED_PIXEL_BGRX, 0, nullptr,
                                       nullptr, nullptr),
              0);
    EXPECT_EQ(FeedReaderGetErrorCode(sound.handle), FEED_READER_E_NO_STREAM);
    EXPECT_STREQ(FeedReaderGetErrorText(sound.handle), "The media has no video stream");
    EXPECT_EQ(FeedReaderSetAudioOutput(sound.handle, -5, 0, nullptr, nullptr), 0);
    EXPECT_EQ(FeedReaderGetErrorCode(sound.handle), FEED_READER_E_BAD_ARGUMENT);

    Reader reader(files.av);
    const int64_t past = testmedia::kAvFrames;
    uint8_t frame[4];
    EXPECT_EQ(FeedReaderReadFrames(reader.handle, &past, 1, frame, sizeof(frame), nullptr), 0);
    EXPECT_EQ(FeedReaderGetErrorCode(reader.handle), FEED_READER_E_OUT_OF_RANGE);
    EXPECT_STREQ(FeedReaderGetErrorText(reader.handle),
                 "frame 75 is out of range: the video has 75 frames (0 to 74)");
    const int64_t first = 0;
    EXPECT_EQ(FeedReaderReadFrames(reader.handle, &first, 1, frame, sizeof(frame), nullptr), 0);
    EXPECT_EQ(FeedReaderGetErrorCode(reader.handle), FEED_READER_E_BAD_ARGUMENT);
    EXPECT_EQ(FeedReaderReadFrames(reader.handle, &first, 0, nullptr, 0, nullptr), 1);
    EXPECT_EQ(FeedReaderGetErrorCode(reader.handle), FEED_READER_OK);
    EXPECT_STREQ(FeedReaderGetErrorText(reader.handle), "");
}

}  // namespace
