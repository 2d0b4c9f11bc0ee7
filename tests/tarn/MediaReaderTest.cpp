// The engine's file reader: frame i is the file's frame i in every kind of file the tests
// write, a time shows the latest frame at or before it, batches are read in one forward pass,
// pixel formats, audio ranges that join sample for sample, and failures that say why.
#include "engine/MediaReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/EngineRef.h"
#include "tarn/FrameTable.h"
#include "tarn/PixelPacker.h"
#include "tarn/VideoFrameReader.h"
#include "tests/support/media/TestMedia.h"

namespace tarn {
namespace {

using testmedia::BarCodeIndex;
using testmedia::Media;

EngineRef<IMediaReader> OpenReader(const std::string& name) {
    EngineRef<IMediaReader> reader;
    EXPECT_GE(CreateMediaReader(nullptr, reader.put()), 0);
    EXPECT_GE(reader->Open(name.c_str()), 0) << reader->GetErrorText();
    return reader;
}

// The output at the picture's own size, B G R X: what BarCodeIndex reads.
VideoOutputRecord OwnSize(IMediaReader* reader) {
    VideoOutputRecord output{};
    output.stream = -1;
    EXPECT_GE(reader->SetVideoOutput(&output), 0) << reader->GetErrorText();
    return output;
}

// The bar-code index each frame read shows.
std::vector<int> IndicesOf(const std::vector<std::uint8_t>& frames, const VideoOutputRecord& out) {
    std::vector<int> indices;
    for (std::int64_t at = 0; at + out.frameBytes <= static_cast<std::int64_t>(frames.size());
         at += out.frameBytes) {
        indices.push_back(BarCodeIndex(
            std::vector<std::uint8_t>(frames.begin() + at, frames.begin() + at + out.frameBytes),
            out.width, out.height));
    }
    return indices;
}

std::vector<int> ReadByIndex(IMediaReader* reader, const VideoOutputRecord& out,
                             const std::vector<std::int64_t>& wanted) {
    std::vector<std::uint8_t> frames(wanted.size() * static_cast<std::size_t>(out.frameBytes));
    EXPECT_GE(reader->ReadFrames(wanted.data(), nullptr, static_cast<std::int32_t>(wanted.size()),
                                 frames.data(), static_cast<std::int64_t>(frames.size()), nullptr),
              0)
        << reader->GetErrorText();
    return IndicesOf(frames, out);
}

TEST(MediaReaderTest, FrameIShowsTheFilesFrameIInAnyOrder) {
    const testmedia::Files& files = Media();
    const struct {
        const char* what;
        std::string name;
        std::int64_t frames;
    } cases[] = {
        {"H.264 with B-frames in MP4", files.av, testmedia::kAvFrames},
        {"MPEG-4 part 2 in Matroska", files.videoOnly, testmedia::kVideoOnlyFrames},
        {"variable frame rate", files.vfr,
         static_cast<std::int64_t>(testmedia::VfrTimesMs().size())},
        {"MPEG-2 in MPEG-TS, clock far from 0", files.mpeg2TransportStream, 50},
        {"H.264 in MPEG-TS, clock far from 0", files.h264TransportStream, 75},
        {"a gap in the frames", files.gapped, 21},
    };
    std::mt19937 random(20);
    for (const auto& file : cases) {
        SCOPED_TRACE(file.what);
        EngineRef<IMediaReader> reader = OpenReader(file.name);
        MediaStreamRecord stream{};
        MediaFileRecord record{};
        ASSERT_GE(reader->GetFileInfo(&record), 0);
        ASSERT_GE(reader->GetStreamInfo(record.videoStream, 1, &stream), 0);
        EXPECT_EQ(stream.frameCount, file.frames);
        EXPECT_EQ(stream.frameCountFrom, kFrameCountCounted);
        const VideoOutputRecord out = OwnSize(reader.get());
        std::vector<std::int64_t> all(static_cast<std::size_t>(file.frames));
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = static_cast<std::int64_t>(i);
        }
        std::vector<std::int64_t> shuffled = all;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        shuffled.resize(std::min<std::size_t>(shuffled.size(), 12));
        const std::vector<int> got = ReadByIndex(reader.get(), out, shuffled);
        EXPECT_EQ(got, std::vector<int>(shuffled.begin(), shuffled.end()));
        // One at a time, backwards: each a seek of its own.
        for (std::int64_t i : {file.frames - 1, file.frames / 2, std::int64_t{0}}) {
            EXPECT_EQ(ReadByIndex(reader.get(), out, {i}), std::vector<int>{static_cast<int>(i)});
        }
    }
}

std::vector<int> ReadAtTimes(IMediaReader* reader, const VideoOutputRecord& out,
                             const std::vector<double>& seconds, std::vector<double>* frameTimes) {
    std::vector<std::uint8_t> frames(seconds.size() * static_cast<std::size_t>(out.frameBytes));
    frameTimes->assign(seconds.size(), -1.0);
    EXPECT_GE(reader->ReadFrames(nullptr, seconds.data(), static_cast<std::int32_t>(seconds.size()),
                                 frames.data(), static_cast<std::int64_t>(frames.size()),
                                 frameTimes->data()),
              0)
        << reader->GetErrorText();
    return IndicesOf(frames, out);
}

TEST(MediaReaderTest, ATimeShowsTheLatestFrameAtOrBeforeIt) {
    // vfr.mkv: frames at 0, 40, 70, 200, 210, 500, 520, 540, 900 and 1000 ms, the last shown
    // for 100 ms.
    EngineRef<IMediaReader> reader = OpenReader(Media().vfr);
    const VideoOutputRecord out = OwnSize(reader.get());
    std::vector<double> frameTimes;
    const std::vector<int> got =
        ReadAtTimes(reader.get(), out, {0.0, 0.0699, 0.07, 0.199, 0.9, 1.0999, 0.045}, &frameTimes);
    EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 2, 8, 9, 1}));
    const std::vector<double> wantedTimes = {0.0, 0.04, 0.07, 0.07, 0.9, 1.0, 0.04};
    for (std::size_t i = 0; i < wantedTimes.size(); ++i) {
        EXPECT_NEAR(frameTimes[i], wantedTimes[i], 1e-9) << i;
    }
    // Outside the frames: before the first, from the end of the last on, and no number.
    for (const double outside : {-0.001, 1.1, 5.0, std::nan("")}) {
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(out.frameBytes));
        EXPECT_EQ(reader->ReadFrames(nullptr, &outside, 1, frame.data(), out.frameBytes, nullptr),
                  kReaderOutOfRange)
            << outside;
        EXPECT_NE(std::string(reader->GetErrorText()).find("shown from 0 s until 1.1 s"),
                  std::string::npos)
            << reader->GetErrorText();
    }
    // A file whose picture starts after its sound: time 0 is the file's start, before it.
    EngineRef<IMediaReader> late = OpenReader(Media().lateShortVideo);
    const VideoOutputRecord lateOut = OwnSize(late.get());
    const double early = 0.1;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(lateOut.frameBytes));
    EXPECT_EQ(late->ReadFrames(nullptr, &early, 1, frame.data(), lateOut.frameBytes, nullptr),
              kReaderOutOfRange);
    EXPECT_EQ(
        ReadAtTimes(late.get(), lateOut, {testmedia::kLateVideoStartMs / 1000.0}, &frameTimes),
        std::vector<int>{0});
}

TEST(MediaReaderTest, ABatchIsReadInOneForwardPassSeekingOnlyPastAKeyframe) {
    // av.mp4: a keyframe every 25 frames.
    FrameTable table;
    EngineRef<IMediaReader> probe = OpenReader(Media().av);
    MediaFileRecord file{};
    ASSERT_GE(probe->GetFileInfo(&file), 0);
    ASSERT_TRUE(table.Scan(Media().av, file.videoStream));
    const struct {
        std::vector<std::int64_t> frames;
        std::int64_t seeks;
    } cases[] = {
        {{3, 1, 2, 4}, 1},
        {{60, 30, 1, 5, 31, 3}, 3},  // frames of three stretches between keyframes
        {{24, 25, 26}, 2},
        {{70, 70, 70}, 1},
    };
    for (const auto& batch : cases) {
        VideoFrameSetup setup;
        setup.name = Media().av;
        setup.table = &table;
        setup.width = testmedia::kAvWidth;
        setup.height = testmedia::kAvHeight;
        VideoFrameReader reader(setup);
        std::vector<std::uint8_t> frames(batch.frames.size() *
                                         static_cast<std::size_t>(reader.frameBytes()));
        reader.Read(batch.frames.data(), static_cast<std::int32_t>(batch.frames.size()),
                    frames.data());
        VideoOutputRecord out{};
        out.width = setup.width;
        out.height = setup.height;
        out.frameBytes = reader.frameBytes();
        EXPECT_EQ(IndicesOf(frames, out),
                  std::vector<int>(batch.frames.begin(), batch.frames.end()));
        EXPECT_EQ(reader.seeks(), batch.seeks);
        // Frames after the last one asked for go on from there, with no seek.
        const std::int64_t next = std::min<std::int64_t>(
            *std::max_element(batch.frames.begin(), batch.frames.end()) + 1, table.size() - 1);
        reader.Read(&next, 1, frames.data());
        EXPECT_EQ(reader.seeks(), batch.seeks);
    }
}

TEST(MediaReaderTest, PixelFormatsInterleavedAndPlanar) {
    // Two pixels, B G R X: (10, 20, 30, 0) and (200, 100, 50, 0).
    const std::uint8_t bgrx[] = {10, 20, 30, 0, 200, 100, 50, 0};
    const struct {
        MediaPixelFormat format;
        bool planar;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {kPixelBgrx, false, {10, 20, 30, 0, 200, 100, 50, 0}},
        {kPixelBgra, false, {10, 20, 30, 255, 200, 100, 50, 255}},
        {kPixelRgba, false, {30, 20, 10, 255, 50, 100, 200, 255}},
        {kPixelRgb24, false, {30, 20, 10, 50, 100, 200}},
        {kPixelBgr24, false, {10, 20, 30, 200, 100, 50}},
        {kPixelGray8, false, {22, 96}},  // 0.114 B + 0.587 G + 0.299 R
        {kPixelRgb24, true, {30, 50, 20, 100, 10, 200}},
        {kPixelBgra, true, {10, 200, 20, 100, 30, 50, 255, 255}},
        {kPixelGray8, true, {22, 96}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> out(c.bytes.size(), 0xAB);
        PackPixels(bgrx, 2, 1, c.format, c.planar, out.data());
        EXPECT_EQ(out, c.bytes) << "format " << c.format << (c.planar ? " planar" : "");
        EXPECT_EQ(static_cast<std::size_t>(BytesPerPixel(c.format)) * 2, c.bytes.size());
    }
}

std::vector<std::int16_t> ReadAudio(IMediaReader* reader, double start, double stop) {
    std::int64_t frames = -1;
    EXPECT_GE(reader->ReadAudio(start, stop, nullptr, 0, &frames), 0) << reader->GetErrorText();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames) * 2);
    EXPECT_GE(reader->ReadAudio(start, stop, samples.data(),
                                static_cast<std::int64_t>(samples.size() * 2), &frames),
              0)
        << reader->GetErrorText();
    return samples;
}

TEST(MediaReaderTest, AudioRangesAreSampleExactAndJoin) {
    // ramp.wav: sample frame i holds i % 32768 on the left, at 44,100 Hz.
    EngineRef<IMediaReader> reader = OpenReader(Media().ramp);
    AudioOutputRecord out{};
    out.stream = -1;
    ASSERT_GE(reader->SetAudioOutput(&out), 0);
    EXPECT_EQ(out.sampleRate, testmedia::kRampRate);
    EXPECT_EQ(out.channels, 2);
    const std::vector<std::int16_t> whole = ReadAudio(reader.get(), 0.1, 0.6);
    ASSERT_EQ(whole.size(), 2u * (26460 - 4410));  // round(0.6 x 44100) - round(0.1 x 44100)
    for (std::size_t i = 0; i < whole.size() / 2; ++i) {
        ASSERT_EQ(whole[2 * i], testmedia::RampLeft(4410 + static_cast<std::int64_t>(i))) << i;
    }
    // In pieces that do not fall on whole samples, each read anew or going on from the last.
    std::vector<std::int16_t> joined;
    for (const auto& [start, stop] :
         {std::pair{0.1, 0.2000111}, std::pair{0.2000111, 0.35}, std::pair{0.35, 0.6}}) {
        const std::vector<std::int16_t> piece = ReadAudio(reader.get(), start, stop);
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(joined, whole);
    const std::vector<std::int16_t> again = ReadAudio(reader.get(), 0.35, 0.6);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), whole.end() - again.size()));
    // Past the end: silence.
    const std::vector<std::int16_t> after = ReadAudio(reader.get(), 2.0, 2.5);
    EXPECT_EQ(after, std::vector<std::int16_t>(after.size(), 0));
}

TEST(MediaReaderTest, DescribesTheFileAndItsStreams) {
    EngineRef<IMediaReader> reader = OpenReader(Media().av);
    MediaFileRecord file{};
    ASSERT_GE(reader->GetFileInfo(&file), 0);
    EXPECT_EQ(file.streamCount, 2);
    EXPECT_STREQ(file.format, "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_NEAR(file.duration, 3.0, 0.05);
    ASSERT_GE(file.videoStream, 0);
    ASSERT_GE(file.audioStream, 0);
    MediaStreamRecord video{};
    ASSERT_GE(reader->GetStreamInfo(file.videoStream, 0, &video), 0);
    EXPECT_EQ(video.type, kMediaVideo);
    EXPECT_EQ(video.width, testmedia::kAvWidth);
    EXPECT_EQ(video.height, testmedia::kAvHeight);
    EXPECT_EQ(video.frameRateNum, 25);
    EXPECT_EQ(video.frameRateDen, 1);
    EXPECT_EQ(video.frameCount, testmedia::kAvFrames);
    EXPECT_EQ(video.frameCountFrom, kFrameCountFromContainer);
    EXPECT_LT(video.endTime, 0.0);  // not counted
    MediaStreamRecord audio{};
    ASSERT_GE(reader->GetStreamInfo(file.audioStream, 1, &audio), 0);
    EXPECT_EQ(audio.type, kMediaAudio);
    EXPECT_STREQ(audio.codec, "aac");
    EXPECT_EQ(audio.sampleRate, testmedia::kAvSampleRate);
    EXPECT_EQ(audio.channels, 2);
    // Shown sizes: square pixels and upright.
    for (const auto& [name, width, height, rotation] :
         {std::tuple{Media().sar, 320, 120, 0}, std::tuple{Media().rotated, 120, 160, 90},
          std::tuple{Media().rotated270, 120, 160, 270}}) {
        EngineRef<IMediaReader> turned = OpenReader(name);
        MediaStreamRecord stream{};
        ASSERT_GE(turned->GetStreamInfo(0, 0, &stream), 0);
        EXPECT_EQ(stream.width, width) << name;
        EXPECT_EQ(stream.height, height) << name;
        EXPECT_EQ(stream.rotation, rotation) << name;
        EXPECT_EQ(stream.codedWidth, 160) << name;
    }
}

TEST(MediaReaderTest, FailuresSayWhy) {
    const testmedia::Files& files = Media();
    const struct {
        std::string name;
        HRESULT status;
        const char* text;
    } opens[] = {
        {files.missing, kReaderFileNotFound, "no such file: '"},
        {files.directory, kReaderCannotOpen,
         "not a regular local file or an allowed lavfi: graph: '"},
        {files.random, kReaderCannotOpen, "not a media file this FFmpeg can read: '"},
    };
    for (const auto& open : opens) {
        EngineRef<IMediaReader> reader;
        ASSERT_GE(CreateMediaReader(nullptr, reader.put()), 0);
        EXPECT_EQ(reader->Open(open.name.c_str()), open.status) << open.name;
        EXPECT_EQ(std::string(reader->GetErrorText()), open.text + open.name + "'");
        MediaFileRecord file{};
        EXPECT_EQ(reader->GetFileInfo(&file), kReaderNotOpen);
    }

    EngineRef<IMediaReader> sound = OpenReader(files.ramp);
    VideoOutputRecord video{};
    video.stream = -1;
    EXPECT_EQ(sound->SetVideoOutput(&video), kReaderNoStream);
    EXPECT_STREQ(sound->GetErrorText(), "The media has no video stream");
    EngineRef<IMediaReader> picture = OpenReader(files.videoOnly);
    AudioOutputRecord audio{};
    audio.stream = -1;
    EXPECT_EQ(picture->SetAudioOutput(&audio), kReaderNoStream);
    EXPECT_STREQ(picture->GetErrorText(), "The media has no audio stream");

    EngineRef<IMediaReader> reader = OpenReader(files.av);
    const struct {
        VideoOutputRecord output;
        const char* text;
    } videoOutputs[] = {
        {{-1, 100000, 100000, 0, 0, 0, 0, 0, 0},
         "width 100000 is out of range: 1 to 16384 pixels, or 0 for the picture's own"},
        {{-1, 320, -2, 0, 0, 0, 0, 0, 0},
         "height -2 is out of range: 1 to 16384 pixels, or 0 for the picture's own"},
        {{-1, 0, 0, 3, 0, 0, 0, 0, 0}, "clip mode 3 is not 0 (stretch), 1 (fit) or 2 (fill)"},
        {{-1, 0, 0, 0, 0, 6, 0, 0, 0}, "pixel format 6 is unknown"},
        {{5, 0, 0, 0, 0, 0, 0, 0, 0},
         "stream 5 cannot be read: frames come from the stream a "
         "video source plays (0)"},
    };
    for (const auto& bad : videoOutputs) {
        VideoOutputRecord output = bad.output;
        EXPECT_LT(reader->SetVideoOutput(&output), 0);
        EXPECT_STREQ(reader->GetErrorText(), bad.text);
    }
    const struct {
        AudioOutputRecord output;
        const char* text;
    } audioOutputs[] = {
        {{-1, -5, 0, 0},
         "sample rate -5 is out of range: 1 to 768000 Hz, or 0 for the stream's own"},
        {{-1, 0, 9, 0}, "channel count 9 is out of range: 1 to 8, or 0 for the stream's own"},
    };
    for (const auto& bad : audioOutputs) {
        AudioOutputRecord output = bad.output;
        EXPECT_EQ(reader->SetAudioOutput(&output), kReaderBadArgument);
        EXPECT_STREQ(reader->GetErrorText(), bad.text);
    }
    const VideoOutputRecord out = OwnSize(reader.get());
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(out.frameBytes));
    for (const std::int64_t index : {std::int64_t{-1}, std::int64_t{testmedia::kAvFrames}}) {
        EXPECT_EQ(reader->ReadFrames(&index, nullptr, 1, frame.data(), out.frameBytes, nullptr),
                  kReaderOutOfRange);
        EXPECT_EQ(std::string(reader->GetErrorText()),
                  "frame " + std::to_string(index) +
                      " is out of range: the video has 75 frames (0 to 74)");
    }
    const std::int64_t first = 0;
    EXPECT_EQ(reader->ReadFrames(&first, nullptr, 1, frame.data(), out.frameBytes - 1, nullptr),
              kReaderBadArgument);
    EXPECT_EQ(reader->ReadAudio(1.0, 0.5, nullptr, 0, nullptr), kReaderBadArgument);
    EXPECT_STREQ(reader->GetErrorText(), "stop 0.5 s is before start 1 s");
    EXPECT_GE(reader->ReadFrames(&first, nullptr, 1, frame.data(), out.frameBytes, nullptr), 0);
    EXPECT_STREQ(reader->GetErrorText(), "");
}

}  // namespace
}  // namespace tarn
