// Pictures of a video clip: which source frame each time shows, black before and after the
// media, and how crop, clip mode, rotation and sample aspect ratio shape the output frame.
#include "tarn/video/VideoClipReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/video/ClipGeometry.h"
#include "tests/support/media/TestMedia.h"

namespace tarn {

namespace {

using testmedia::BarCodeIndex;
using testmedia::HasColour;
using testmedia::IsAllZero;
using testmedia::kAvFrameTicks;
using testmedia::kTicksPerMs;
using testmedia::kTicksPerSecond;
using testmedia::Media;

constexpr std::uint32_t kBarColour = 0x00336699;  // R 0x33, G 0x66, B 0x99

VideoClipSetup Clip(const std::string& name, int width, int height,
                    ClipMode mode = ClipMode::Stretch, std::int64_t sourceStart = 0) {
    VideoClipSetup clip;
    clip.name = name;
    clip.sourceStart = sourceStart;
    clip.sourceStop = sourceStart + 10 * kTicksPerSecond;
    clip.mode = mode;
    clip.barColour = kBarColour;
    clip.outputWidth = width;
    clip.outputHeight = height;
    return clip;
}

// Renders into a buffer that starts out non-zero, so that untouched bytes show.
std::vector<std::uint8_t> Render(VideoClipReader* reader, const VideoClipSetup& clip,
                                 std::int64_t sourceTime) {
    std::vector<std::uint8_t> frame(
        static_cast<std::size_t>(clip.outputWidth) * clip.outputHeight * 4, 0xAB);
    reader->Render(sourceTime, frame.data());
    return frame;
}

testing::AssertionResult IsBar(const std::vector<std::uint8_t>& frame, int width, int x, int y) {
    const testmedia::Pixel p = testmedia::PixelAt(frame, width, x, y);
    if (p.b == 0x99 && p.g == 0x66 && p.r == 0x33 && p.x == 0) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is B " << p.b << " G " << p.g << " R " << p.r
           << " X " << p.x << ", not the bar colour";
}

// Colours of the quadrant picture.
testing::AssertionResult IsYellow(const std::vector<std::uint8_t>& f, int w, int x, int y) {
    return HasColour(f, w, x, y, 255, 255, 0);
}
testing::AssertionResult IsRed(const std::vector<std::uint8_t>& f, int w, int x, int y) {
    return HasColour(f, w, x, y, 255, 0, 0);
}
testing::AssertionResult IsGreen(const std::vector<std::uint8_t>& f, int w, int x, int y) {
    return HasColour(f, w, x, y, 0, 255, 0);
}
testing::AssertionResult IsBlue(const std::vector<std::uint8_t>& f, int w, int x, int y) {
    return HasColour(f, w, x, y, 0, 0, 255);
}
testing::AssertionResult IsWhite(const std::vector<std::uint8_t>& f, int w, int x, int y) {
    return HasColour(f, w, x, y, 255, 255, 255);
}

// A place in the output frame and the colour of the picture that must stand there.
struct Spot {
    testing::AssertionResult (*is)(const std::vector<std::uint8_t>& frame, int width, int x, int y);
    int x;
    int y;
};

// A clip, and where the picture's colours land in its output frame.
struct Placement {
    const char* what;
    VideoClipSetup clip;
    std::vector<Spot> spots;
};

bool FourthBytesAreZero(const std::vector<std::uint8_t>& frame) {
    for (std::size_t i = 3; i < frame.size(); i += 4) {
        if (frame[i] != 0) {
            return false;
        }
    }
    return true;
}

// Renders the clip's first frame and checks every spot of it, and its fourth bytes.
void ExpectPlacement(const Placement& placement) {
    VideoClipReader reader(placement.clip);
    const std::vector<std::uint8_t> frame = Render(&reader, placement.clip, 0);
    for (const Spot& spot : placement.spots) {
        EXPECT_TRUE(spot.is(frame, placement.clip.outputWidth, spot.x, spot.y))
            << placement.what << ", at (" << spot.x << ", " << spot.y << ")";
    }
    EXPECT_TRUE(FourthBytesAreZero(frame)) << placement.what;
}

PictureGeometry Geometry(ClipMode mode, int outputWidth, int outputHeight) {
    PictureGeometry geometry;
    geometry.sourceWidth = 160;
    geometry.sourceHeight = 120;
    geometry.mode = mode;
    geometry.outputWidth = outputWidth;
    geometry.outputHeight = outputHeight;
    return geometry;
}

void ExpectRect(const PixelRect& rect, int x, int y, int width, int height) {
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

TEST(ClipGeometryTest, EachModePlacesThePicture) {
    PicturePlacement stretch = FitPicture(Geometry(ClipMode::Stretch, 320, 100));
    ExpectRect(stretch.source, 0, 0, 160, 120);
    ExpectRect(stretch.target, 0, 0, 320, 100);

    ExpectRect(FitPicture(Geometry(ClipMode::Fit, 320, 120)).target, 80, 0, 160, 120);
    ExpectRect(FitPicture(Geometry(ClipMode::Fit, 160, 240)).target, 0, 60, 160, 120);

    const PicturePlacement fill = FitPicture(Geometry(ClipMode::Fill, 320, 120));
    ExpectRect(fill.source, 0, 30, 160, 60);
    ExpectRect(fill.target, 0, 0, 320, 120);
    ExpectRect(FitPicture(Geometry(ClipMode::Fill, 60, 120)).source, 50, 0, 60, 120);
}

TEST(ClipGeometryTest, SampleAspectRatioAndRotationShapeThePicture) {
    PictureGeometry sar = Geometry(ClipMode::Fit, 320, 240);
    sar.sarNum = 2;
    sar.sarDen = 1;
    ExpectRect(FitPicture(sar).target, 0, 60, 320, 120);
    sar.mode = ClipMode::Fill;
    ExpectRect(FitPicture(sar).source, 40, 0, 80, 120);

    PictureGeometry turned = Geometry(ClipMode::Fit, 160, 120);
    turned.rotation = 90;
    ExpectRect(FitPicture(turned).target, 35, 0, 90, 120);
    turned.mode = ClipMode::Fill;
    const PicturePlacement fill = FitPicture(turned);
    ExpectRect(fill.source, 35, 0, 90, 120);
    ExpectRect(fill.target, 0, 0, 160, 120);
}

TEST(ClipGeometryTest, CropIsClampedAndAnEmptyCropMeansNone) {
    ExpectRect(ClampedCrop({-1, -1, -1, -1}, 160, 120), 0, 0, 160, 120);
    ExpectRect(ClampedCrop({10, 20, 50, 60}, 160, 120), 10, 20, 40, 40);
    ExpectRect(ClampedCrop({-5, 100, 500, 500}, 160, 120), 0, 100, 160, 20);
    ExpectRect(ClampedCrop({50, 10, 40, 100}, 160, 120), 0, 0, 160, 120);
    ExpectRect(ClampedCrop({10, 10, 10, 50}, 160, 120), 0, 0, 160, 120);
    ExpectRect(ClampedCrop({200, 10, 300, 50}, 160, 120), 0, 0, 160, 120);

    PictureGeometry cropped = Geometry(ClipMode::Fit, 100, 100);
    cropped.crop = {20, 20, 60, 100};  // 40 x 80: fits as 50 x 100
    const PicturePlacement fit = FitPicture(cropped);
    ExpectRect(fit.source, 20, 20, 40, 80);
    ExpectRect(fit.target, 25, 0, 50, 100);
}

TEST(ClipGeometryTest, TheShownPartStartsOnTheChromaGridKeepingItsFarEdges) {
    struct Case {
        PixelRect shown;
        int log2Width, log2Height;  // 1, 1: 4:2:0; 1, 0: 4:2:2; 2, 0: 4:1:1; 0, 0: 4:4:4
        PixelRect expected;
    };
    const Case cases[] = {
        {{5, 7, 10, 20}, 1, 1, {4, 6, 11, 21}}, {{5, 7, 10, 20}, 1, 0, {4, 7, 11, 20}},
        {{7, 3, 10, 20}, 2, 0, {4, 3, 13, 20}}, {{5, 7, 10, 20}, 0, 0, {5, 7, 10, 20}},
        {{4, 6, 10, 20}, 1, 1, {4, 6, 10, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        const PixelRect grid = OnChromaGrid(c.shown, c.log2Width, c.log2Height);
        ExpectRect(grid, c.expected.x, c.expected.y, c.expected.width, c.expected.height);
    }
}

TEST(VideoClipReaderTest, ShowsTheLatestFrameAtOrBeforeEachTime) {
    const VideoClipSetup clip = Clip(Media().av, testmedia::kAvWidth, testmedia::kAvHeight);
    VideoClipReader reader(clip);
    for (int i = 0; i < testmedia::kAvFrames; ++i) {
        const std::int64_t time = i * kAvFrameTicks;
        if (i > 0) {
            EXPECT_EQ(
                BarCodeIndex(Render(&reader, clip, time - 1), clip.outputWidth, clip.outputHeight),
                i - 1)
                << "just before frame " << i;
        }
        EXPECT_EQ(BarCodeIndex(Render(&reader, clip, time), clip.outputWidth, clip.outputHeight), i)
            << "on frame " << i;
        EXPECT_EQ(
            BarCodeIndex(Render(&reader, clip, time + 1), clip.outputWidth, clip.outputHeight), i)
            << "just after frame " << i;
    }
}

// In AVI, packets carry decode times only: a keyframe decoded before an in point may be shown
// after it (frames later), and the frame to show at the in point is then one before it.
TEST(VideoClipReaderTest, StartsAnywhereInAGroupOfPictures) {
    struct File {
        std::string name;
        int width;
        int delay;  // frame times by which FFmpeg shows each picture late
    };
    const File files[] = {{Media().av, testmedia::kAvWidth, 0},
                          {Media().mpeg4Avi, testmedia::kSmallWidth, testmedia::kMpeg4AviDelay}};
    for (const File& file : files) {
        const int width = file.width;
        const int height = width * 3 / 4;
        for (int start : {1, 13, 23, 24, 25, 26, 37, 48, 49, 50, 62, 74}) {
            for (std::int64_t offset : {std::int64_t{0}, kAvFrameTicks / 2}) {
                const VideoClipSetup clip = Clip(file.name, width, height, ClipMode::Stretch,
                                                 start * kAvFrameTicks + offset);
                VideoClipReader reader(clip);
                for (int time = start; time < std::min(start + 3, testmedia::kAvFrames); ++time) {
                    const std::int64_t at = std::max(time * kAvFrameTicks, clip.sourceStart);
                    EXPECT_EQ(BarCodeIndex(Render(&reader, clip, at), width, height),
                              time - file.delay)
                        << file.name << " from frame time " << start << " + " << offset
                        << ", at frame time " << time;
                }
            }
        }
    }
}

// Frames nothing refers to are skipped on the way to an in point, but not the one to show
// there: here it lies before a 1.7 s gap, far from the in point, and is still the one shown.
TEST(VideoClipReaderTest, TheFrameBeforeALongGapIsShownAtAnInPointInIt) {
    for (const std::int64_t inPointMs : {1000, 1500, testmedia::kGapEndMs - 1}) {
        const VideoClipSetup clip =
            Clip(Media().gapped, testmedia::kSmallWidth, testmedia::kSmallHeight, ClipMode::Stretch,
                 inPointMs * testmedia::kTicksPerMs);
        VideoClipReader reader(clip);
        reader.Prepare();
        EXPECT_EQ(BarCodeIndex(Render(&reader, clip, clip.sourceStart), clip.outputWidth,
                               clip.outputHeight),
                  8)
            << "in point " << inPointMs << " ms";
        EXPECT_EQ(BarCodeIndex(Render(&reader, clip, testmedia::kGapEndMs * testmedia::kTicksPerMs),
                               clip.outputWidth, clip.outputHeight),
                  9);
    }
}

TEST(VideoClipReaderTest, BlackBeforeTheFirstFrameAndPastTheLast) {
    const VideoClipSetup clip = Clip(Media().av, testmedia::kAvWidth, testmedia::kAvHeight,
                                     ClipMode::Stretch, -kTicksPerSecond);
    VideoClipReader reader(clip);
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, -kTicksPerSecond)));
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, -1)));
    EXPECT_EQ(BarCodeIndex(Render(&reader, clip, 0), clip.outputWidth, clip.outputHeight), 0);
    const std::int64_t lastEnd = testmedia::kAvFrames * kAvFrameTicks;
    EXPECT_EQ(BarCodeIndex(Render(&reader, clip, lastEnd - 1), clip.outputWidth, clip.outputHeight),
              testmedia::kAvFrames - 1);
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, lastEnd)));
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, 100 * kTicksPerSecond)));
}

TEST(VideoClipReaderTest, SourceTimesCountFromTheStartOfTheFile) {
    // The transport stream's clock starts at 1.4 s (its pictures 23 ms after its sound, which
    // starts the file); source time 0 is where the file starts.
    const VideoClipSetup clip =
        Clip(Media().transportStream, testmedia::kSmallWidth, testmedia::kSmallHeight);
    VideoClipReader reader(clip);
    for (int i : {0, 1, 10, 49}) {
        EXPECT_EQ(BarCodeIndex(Render(&reader, clip, i * kAvFrameTicks + kAvFrameTicks * 3 / 4),
                               clip.outputWidth, clip.outputHeight),
                  i);
    }
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, 2100 * kTicksPerMs)));

    const VideoClipSetup later =
        Clip(Media().transportStream, testmedia::kSmallWidth, testmedia::kSmallHeight,
             ClipMode::Stretch, 30 * kAvFrameTicks + kAvFrameTicks * 3 / 4);
    VideoClipReader laterReader(later);
    EXPECT_EQ(BarCodeIndex(Render(&laterReader, later, later.sourceStart), later.outputWidth,
                           later.outputHeight),
              30);
}

// A transport stream has no index: a seek there searches by timestamp and lands after the
// first keyframe when the in point lies inside the first group of pictures. The span must still
// start on its own frame, decoded from the file's start, never on black.
TEST(VideoClipReaderTest, TransportStreamSpansStartOnTheirFrameInsideTheFirstGroup) {
    const std::pair<std::string, int> files[] = {
        {Media().mpeg2TransportStream, testmedia::kMpeg2KeyframeInterval},
        {Media().h264TransportStream, testmedia::kAvKeyframeInterval}};
    for (const auto& [name, keyframeInterval] : files) {
        for (int start : {1, 2, 7, keyframeInterval - 1, keyframeInterval, keyframeInterval + 3}) {
            const VideoClipSetup clip = Clip(name, testmedia::kSmallWidth, testmedia::kSmallHeight,
                                             ClipMode::Stretch, start * kAvFrameTicks);
            VideoClipReader reader(clip);
            for (int frame = start; frame < start + 4; ++frame) {
                EXPECT_EQ(BarCodeIndex(Render(&reader, clip, frame * kAvFrameTicks + 1),
                                       clip.outputWidth, clip.outputHeight),
                          frame)
                    << name << " from frame " << start;
            }
        }
    }
}

// A short H.264 stream with B-frames that starts after the sound: FFmpeg gives it the sound's
// start time, so no keyframe comes at or before an in point between the two. The seek to the
// start lands on the first keyframe, which is kept, rather than reading the file from its
// first byte (a Matroska header, where no packet is found and the span was all black).
TEST(VideoClipReaderTest, AnInPointBeforeAStreamsFirstKeyframeShowsItsFramesFromTheirTimes) {
    for (const int inPointMs : {1, 100, testmedia::kLateVideoStartMs - 1}) {
        const VideoClipSetup clip =
            Clip(Media().lateShortVideo, testmedia::kSmallWidth, testmedia::kSmallHeight,
                 ClipMode::Stretch, inPointMs * kTicksPerMs);
        VideoClipReader reader(clip);
        EXPECT_TRUE(IsAllZero(Render(&reader, clip, clip.sourceStart))) << inPointMs;
        for (int frame = 0; frame < 3; ++frame) {
            const std::int64_t time =
                (testmedia::kLateVideoStartMs + 40 * frame + 20) * kTicksPerMs;
            EXPECT_EQ(
                BarCodeIndex(Render(&reader, clip, time), clip.outputWidth, clip.outputHeight),
                frame)
                << "in point " << inPointMs << " ms";
        }
    }
}

// An AVI file's palette comes with its first packet only: a span entered by a seek keeps it.
TEST(VideoClipReaderTest, PalettedPicturesKeepTheirPaletteAfterASeek) {
    for (const int inPointMs : {0, 40, 1000}) {
        const VideoClipSetup clip =
            Clip(Media().paletted, testmedia::kSmallWidth, testmedia::kSmallHeight,
                 ClipMode::Stretch, inPointMs * kTicksPerMs);
        VideoClipReader reader(clip);
        const std::vector<std::uint8_t> frame = Render(&reader, clip, clip.sourceStart + 1);
        EXPECT_TRUE(IsRed(frame, clip.outputWidth, clip.outputWidth / 2, clip.outputHeight / 2))
            << "in point " << inPointMs << " ms";
    }
}

TEST(VideoClipReaderTest, VariableFrameRateFramesShowAtTheirOwnTimes) {
    const VideoClipSetup clip = Clip(Media().vfr, testmedia::kSmallWidth, testmedia::kSmallHeight);
    VideoClipReader reader(clip);
    const std::vector<int>& times = testmedia::VfrTimesMs();
    for (std::size_t i = 0; i < times.size(); ++i) {
        const std::int64_t time = times[i] * kTicksPerMs;
        const int frame = static_cast<int>(i);
        if (i > 0) {
            EXPECT_EQ(
                BarCodeIndex(Render(&reader, clip, time - 1), clip.outputWidth, clip.outputHeight),
                frame - 1);
        }
        EXPECT_EQ(BarCodeIndex(Render(&reader, clip, time), clip.outputWidth, clip.outputHeight),
                  frame);
    }
    const std::int64_t end = (times.back() + testmedia::kVfrLastDurationMs) * kTicksPerMs;
    EXPECT_EQ(BarCodeIndex(Render(&reader, clip, end - 1), clip.outputWidth, clip.outputHeight),
              static_cast<int>(times.size()) - 1);
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, end)));
}

TEST(VideoClipReaderTest, AFrameShownAgainIsTheSameAndItsFourthBytesAreZero) {
    const VideoClipSetup clip = Clip(Media().av, 200, 150);
    VideoClipReader reader(clip);
    const std::vector<std::uint8_t> first = Render(&reader, clip, 5 * kAvFrameTicks);
    EXPECT_EQ(BarCodeIndex(first, 200, 150), 5);
    EXPECT_TRUE(FourthBytesAreZero(first));
    EXPECT_EQ(Render(&reader, clip, 5 * kAvFrameTicks), first);
    EXPECT_EQ(Render(&reader, clip, 6 * kAvFrameTicks - 1), first);
    EXPECT_NE(Render(&reader, clip, 6 * kAvFrameTicks), first);
}

TEST(VideoClipReaderTest, StretchFillsTheOutput) {
    ExpectPlacement({"stretched",
                     Clip(Media().pattern, 320, 240),
                     {{IsYellow, 0, 0},
                      {IsYellow, 319, 239},
                      {IsRed, 100, 80},
                      {IsGreen, 220, 80},
                      {IsBlue, 100, 160},
                      {IsWhite, 220, 160}}});
}

TEST(VideoClipReaderTest, FitCentresThePictureBetweenBarsOfTheBarColour) {
    const VideoClipSetup wide = Clip(Media().pattern, 320, 120, ClipMode::Fit);
    VideoClipReader wideReader(wide);
    const std::vector<std::uint8_t> sideBars = Render(&wideReader, wide, 0);
    for (int y : {0, 60, 119}) {
        EXPECT_TRUE(IsBar(sideBars, 320, 0, y));
        EXPECT_TRUE(IsBar(sideBars, 320, 79, y));
        EXPECT_TRUE(IsYellow(sideBars, 320, 81, y));
        EXPECT_TRUE(IsYellow(sideBars, 320, 238, y));
        EXPECT_TRUE(IsBar(sideBars, 320, 240, y));
        EXPECT_TRUE(IsBar(sideBars, 320, 319, y));
    }
    EXPECT_TRUE(IsRed(sideBars, 320, 120, 40));
    EXPECT_TRUE(IsWhite(sideBars, 320, 200, 80));

    const VideoClipSetup tall = Clip(Media().pattern, 160, 240, ClipMode::Fit);
    VideoClipReader tallReader(tall);
    const std::vector<std::uint8_t> topBars = Render(&tallReader, tall, 0);
    for (int x : {0, 80, 159}) {
        EXPECT_TRUE(IsBar(topBars, 160, x, 0));
        EXPECT_TRUE(IsBar(topBars, 160, x, 59));
        EXPECT_TRUE(IsYellow(topBars, 160, x, 61));
        EXPECT_TRUE(IsYellow(topBars, 160, x, 178));
        EXPECT_TRUE(IsBar(topBars, 160, x, 180));
        EXPECT_TRUE(IsBar(topBars, 160, x, 239));
    }
}

TEST(VideoClipReaderTest, TheBarColoursHighByteNeverReachesTheFourthByte) {
    // The clip parameter is the host's 32 bits; only 0x00RRGGBB of it is a colour.
    for (const std::uint32_t highByte : {0x01000000u, 0x80000000u, 0xFF000000u}) {
        VideoClipSetup clip = Clip(Media().pattern, 320, 120, ClipMode::Fit);
        clip.barColour = kBarColour | highByte;
        VideoClipReader reader(clip);
        const std::vector<std::uint8_t> frame = Render(&reader, clip, 0);
        EXPECT_TRUE(IsBar(frame, 320, 0, 0)) << std::hex << clip.barColour;
        EXPECT_TRUE(IsBar(frame, 320, 319, 119)) << std::hex << clip.barColour;
        EXPECT_TRUE(FourthBytesAreZero(frame)) << std::hex << clip.barColour;
    }
}

TEST(VideoClipReaderTest, FillCoversTheOutputAndCutsTheOverflowEqually) {
    // 160x120 into 320x120: twice as large, rows 30 to 89 of the picture remain.
    ExpectPlacement({"filled",
                     Clip(Media().pattern, 320, 120, ClipMode::Fill),
                     {{IsYellow, 2, 60},  // the side borders remain
                      {IsYellow, 37, 60},
                      {IsYellow, 317, 60},
                      {IsRed, 100, 1},  // the top border is cut away
                      {IsGreen, 220, 1},
                      {IsBlue, 100, 118},  // and so is the bottom one
                      {IsWhite, 220, 118},
                      {IsRed, 100, 55},  // the quadrants still meet in the middle
                      {IsBlue, 100, 64}}});
}

TEST(VideoClipReaderTest, CropShowsOnlyTheCroppedPart) {
    for (const std::array<std::int32_t, 4>& crop : {std::array<std::int32_t, 4>{20, 20, 140, 100},
                                                    std::array<std::int32_t, 4>{21, 21, 139, 99}}) {
        VideoClipSetup clip = Clip(Media().pattern, 240, 160);
        clip.crop = crop;
        ExpectPlacement(
            {crop[0] == 20 ? "the border cut off" : "the border cut off, odd edges",
             clip,
             {{IsRed, 1, 1}, {IsGreen, 238, 1}, {IsBlue, 1, 158}, {IsWhite, 238, 158}}});
    }
    VideoClipSetup quarter = Clip(Media().pattern, 64, 64);
    quarter.crop = {80, 60, 140, 100};
    ExpectPlacement({"a quarter", quarter, {{IsWhite, 0, 0}, {IsWhite, 63, 63}}});

    VideoClipSetup outside = Clip(Media().pattern, 160, 120);
    outside.crop = {-10, -10, 1000, 1000};  // clamped to the picture
    ExpectPlacement({"past the picture", outside, {{IsYellow, 0, 0}, {IsRed, 50, 40}}});
}

TEST(VideoClipReaderTest, RotatedPicturesComeOutUpright) {
    // Stored top-left red, top-right green, bottom-left blue, bottom-right white.
    const Placement turns[] = {
        {"a quarter turn clockwise",
         Clip(Media().rotated, 120, 160),
         {{IsBlue, 40, 50},
          {IsRed, 80, 50},
          {IsWhite, 40, 110},
          {IsGreen, 80, 110},
          {IsYellow, 2, 2}}},
        // Shown 120x160, fitted into 160x120: 90x120 in the middle.
        {"a quarter turn clockwise, fitted",
         Clip(Media().rotated, 160, 120, ClipMode::Fit),
         {{IsBar, 33, 60}, {IsBlue, 65, 38}, {IsRed, 95, 38}, {IsGreen, 95, 82}, {IsBar, 126, 60}}},
        {"a half turn",
         Clip(Media().rotated180, 160, 120),
         {{IsWhite, 50, 40}, {IsBlue, 110, 40}, {IsGreen, 50, 80}, {IsRed, 110, 80}}},
        {"three quarter turns clockwise",
         Clip(Media().rotated270, 120, 160),
         {{IsGreen, 40, 50}, {IsWhite, 80, 50}, {IsRed, 40, 110}, {IsBlue, 80, 110}}},
        // The picture's own orientation (EXIF), not the stream's, turns a JPEG photo.
        {"a JPEG to be turned a quarter clockwise",
         Clip(Media().stillJpegTurned, 120, 160),
         {{IsBlue, 40, 50}, {IsRed, 80, 50}, {IsWhite, 40, 110}, {IsGreen, 80, 110}}},
    };
    for (const Placement& turn : turns) {
        ExpectPlacement(turn);
    }
}

TEST(VideoClipReaderTest, FitKeepsTheSampleAspectRatio) {
    // 160x120 of 2:1 pixels is shown 320x120: in 320x240 that leaves 60 rows of bars above
    // and below (square pixels would leave none).
    ExpectPlacement({"2:1 pixels, fitted",
                     Clip(Media().sar, 320, 240, ClipMode::Fit),
                     {{IsBar, 160, 0},
                      {IsBar, 160, 58},
                      {IsYellow, 160, 62},
                      {IsRed, 100, 100},
                      {IsWhite, 220, 140},
                      {IsYellow, 160, 177},
                      {IsBar, 160, 181}}});
}

// A still picture is shown for the whole clip, from before its own time 0 to long after; of a
// JPEG file, its first picture, whatever follows it.
TEST(VideoClipReaderTest, StillImagesHoldTheirPictureForTheWholeClip) {
    for (const std::string& file :
         {Media().stillPng, Media().stillJpeg, Media().stillBmp, Media().stillJpegWithTrailer}) {
        const VideoClipSetup clip = Clip(file, testmedia::kSmallWidth, testmedia::kSmallHeight,
                                         ClipMode::Stretch, -kTicksPerSecond);
        VideoClipReader reader(clip);
        for (const std::int64_t time :
             {-kTicksPerSecond, std::int64_t{0}, 3 * kTicksPerSecond, 3600 * kTicksPerSecond}) {
            const std::vector<std::uint8_t> frame = Render(&reader, clip, time);
            EXPECT_TRUE(HasColour(frame, clip.outputWidth, 40, 40, 255, 0, 0))
                << file << " at " << time;
            EXPECT_TRUE(HasColour(frame, clip.outputWidth, 120, 90, 255, 255, 255))
                << file << " at " << time;
        }
    }
}

// An image file of several pictures that FFmpeg reads one by one (a PNG file) plays them at its
// frame rate, as ffmpeg does, from any in point; black after the last.
TEST(VideoClipReaderTest, AnImageFileOfSeveralPicturesPlaysThemInTurn) {
    for (const int start : {0, 1, 7}) {
        const VideoClipSetup clip =
            Clip(Media().pngSequence, testmedia::kSmallWidth, testmedia::kSmallHeight,
                 ClipMode::Stretch, start * kAvFrameTicks);
        VideoClipReader reader(clip);
        for (int frame = start; frame < testmedia::kPngSequenceFrames; frame += 3) {
            EXPECT_EQ(BarCodeIndex(Render(&reader, clip, frame * kAvFrameTicks + 1),
                                   clip.outputWidth, clip.outputHeight),
                      frame)
                << "from frame " << start;
        }
        EXPECT_TRUE(
            IsAllZero(Render(&reader, clip, testmedia::kPngSequenceFrames * kAvFrameTicks)));
    }
}

TEST(VideoClipReaderTest, FilesWithoutPicturesRenderBlack) {
    for (const std::string& name :
         {Media().random, Media().truncatedMp4, Media().missing, Media().directory, Media().ramp,
          Media().cover, std::string(), std::string("lavfi:movie=x.mp4")}) {
        const VideoClipSetup clip = Clip(name, 64, 48);
        VideoClipReader reader(clip);
        EXPECT_TRUE(IsAllZero(Render(&reader, clip, 0))) << name;
        EXPECT_TRUE(IsAllZero(Render(&reader, clip, kTicksPerSecond))) << name;
    }
    VideoClipReader neverRendered(Clip(Media().av, 64, 48));
}

TEST(VideoClipReaderTest, ATruncatedFileShowsWhatItHasThenBlack) {
    const VideoClipSetup clip =
        Clip(Media().truncatedMkv, testmedia::kSmallWidth, testmedia::kSmallHeight);
    VideoClipReader reader(clip);
    EXPECT_EQ(BarCodeIndex(Render(&reader, clip, 0), clip.outputWidth, clip.outputHeight), 0);
    EXPECT_EQ(BarCodeIndex(Render(&reader, clip, 10 * kAvFrameTicks), clip.outputWidth,
                           clip.outputHeight),
              10);
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, 49 * kAvFrameTicks)));
}

TEST(VideoClipReaderTest, LavfiGraphsRender) {
    const VideoClipSetup clip = Clip("lavfi:testsrc2=size=320x240:rate=25:duration=2", 160, 120,
                                     ClipMode::Stretch, kTicksPerSecond / 2);
    VideoClipReader reader(clip);
    const std::vector<std::uint8_t> frame = Render(&reader, clip, kTicksPerSecond / 2);
    EXPECT_FALSE(IsAllZero(frame));
    EXPECT_TRUE(FourthBytesAreZero(frame));
    EXPECT_TRUE(IsAllZero(Render(&reader, clip, 3 * kTicksPerSecond)));
}

}  // namespace

}  // namespace tarn
