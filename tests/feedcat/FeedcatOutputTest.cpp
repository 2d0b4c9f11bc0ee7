// What feedcat writes, beyond counts: the colour it converts with and tags, the crop
// rectangle, WebM, MP4's index at the front, the quality options, fractional frame rates,
// -n/-y, a closed output pipe, and --version.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FeedcatProcess.h"
#include "MediaCheck.h"
#include "tests/support/media/LosslessClips.h"
#include "tests/support/media/TestPictures.h"

namespace feedcat_test {
namespace {

const std::string kPattern = "lavfi:testsrc2=size=320x240:rate=25:duration=3";
const std::string kTone = "lavfi:sine=frequency=440:sample_rate=44100:duration=3";

// A patch of one colour, given as Y, Cb, Cr in limited range, tagged with its description.
void WritePatch(const std::string& path, int width, int height, AVColorSpace matrix,
                AVColorPrimaries primaries, AVColorTransferCharacteristic transfer) {
    testmedia::VideoTrack painted = testmedia::LosslessVideo(width, height, 5);
    painted.matrix = matrix;
    painted.primaries = primaries;
    painted.transfer = transfer;
    painted.paint = testmedia::SolidColour(120, 90, 180);
    std::string error;
    ASSERT_TRUE(testmedia::WriteLosslessVideo(path, painted, &error)) << error;
}

void ExpectTagged(const StreamReport& video, AVColorSpace matrix, AVColorPrimaries primaries,
                  AVColorTransferCharacteristic transfer) {
    EXPECT_EQ(video.matrix, matrix);
    EXPECT_EQ(video.primaries, primaries);
    EXPECT_EQ(video.transfer, transfer);
    EXPECT_EQ(video.range, AVCOL_RANGE_MPEG);
}

// A BT.709 HD patch decoded by the engine, written by feedcat as H.264 and decoded back comes
// out within 2 levels, tagged BT.709; an SD patch likewise as BT.601 (SMPTE 170M); an HD patch
// scaled to SD keeps its colour (read back with each file's own matrix).
TEST(FeedcatColour, PatchesSurviveARoundTripAndAreTagged) {
    ScratchFolder folder;
    WritePatch(folder.File("hd.mkv"), 1280, 720, AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709);
    WritePatch(folder.File("sd.mkv"), 640, 360, AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M,
               AVCOL_TRC_SMPTE170M);

    ASSERT_EQ(RunFeedcat({"v:hd.mkv", "--quiet", "-o", "hd.mp4"}, folder).status, 0);
    const MediaReport hd = ReadMedia(folder.File("hd.mp4"));
    ASSERT_TRUE(hd.opened);
    ASSERT_NE(hd.Find("video"), nullptr);
    EXPECT_EQ(hd.Find("video")->codec, "h264");
    ExpectTagged(*hd.Find("video"), AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709);
    EXPECT_NEAR(hd.firstY, 120, 2);
    EXPECT_NEAR(hd.firstCb, 90, 2);
    EXPECT_NEAR(hd.firstCr, 180, 2);

    ASSERT_EQ(RunFeedcat({"v:sd.mkv", "--quiet", "-o", "sd.mp4"}, folder).status, 0);
    const MediaReport sd = ReadMedia(folder.File("sd.mp4"));
    ASSERT_TRUE(sd.opened);
    ASSERT_NE(sd.Find("video"), nullptr);
    ExpectTagged(*sd.Find("video"), AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M);
    EXPECT_NEAR(sd.firstY, 120, 2);
    EXPECT_NEAR(sd.firstCb, 90, 2);
    EXPECT_NEAR(sd.firstCr, 180, 2);

    ASSERT_EQ(
        RunFeedcat({"v:hd.mkv", "--size", "640x360", "--quiet", "-o", "down.mp4"}, folder).status,
        0);
    const MediaReport source = ReadMedia(folder.File("hd.mkv"));
    const MediaReport down = ReadMedia(folder.File("down.mp4"));
    ASSERT_TRUE(down.opened);
    ExpectTagged(*down.Find("video"), AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M,
                 AVCOL_TRC_SMPTE170M);
    EXPECT_NEAR(down.firstRed, source.firstRed, 3);
    EXPECT_NEAR(down.firstGreen, source.firstGreen, 3);
    EXPECT_NEAR(down.firstBlue, source.firstBlue, 3);
}

// --crop passes FeedAddVideoSourceEx's rectangle: left, top, right, bottom in source pixels.
TEST(FeedcatCrop, ShowsOnlyTheRectangle) {
    ScratchFolder folder;
    testmedia::VideoTrack painted = testmedia::LosslessVideo(320, 240, 5);
    // Left half red, right half blue (BT.601, limited range).
    painted.paint = [](AVFrame* picture, int index) {
        testmedia::SolidColour(41, 240, 110)(picture, index);
        for (int row = 0; row < picture->height; ++row) {
            for (int x = 0; x < picture->width / 2; ++x) {
                picture->data[0][row * picture->linesize[0] + x] = 81;
            }
        }
        for (int row = 0; row < picture->height / 2; ++row) {
            for (int x = 0; x < picture->width / 4; ++x) {
                picture->data[1][row * picture->linesize[1] + x] = 90;
                picture->data[2][row * picture->linesize[2] + x] = 240;
            }
        }
    };
    std::string error;
    ASSERT_TRUE(testmedia::WriteLosslessVideo(folder.File("halves.mkv"), painted, &error)) << error;

    auto red = [](const std::array<int, 3>& rgb) { return rgb[0] > 200 && rgb[2] < 60; };
    auto blue = [](const std::array<int, 3>& rgb) { return rgb[2] > 200 && rgb[0] < 60; };
    struct Case {
        const char* crop;
        int width;
        bool leftRed;
        bool rightRed;
    };
    for (const Case& c :
         {Case{"0,0,160,240", 160, true, true}, Case{"160,0,320,240", 160, false, false},
          Case{"-1,-1,-1,-1", 320, true, false}}) {
        const ProcessResult run =
            RunFeedcat({"v:halves.mkv", "--crop", c.crop, "--quiet", "-o", "crop.mkv"}, folder);
        ASSERT_EQ(run.status, 0) << c.crop << ": " << run.err;
        const MediaReport media = ReadMedia(folder.File("crop.mkv"));
        ASSERT_TRUE(media.opened);
        // Without --size the frame is the cut rectangle's size: nothing is scaled back up.
        EXPECT_EQ(media.firstWidth, c.width) << c.crop;
        EXPECT_EQ(media.firstHeight, 240) << c.crop;
        const std::array<int, 3> left = media.RgbAt(c.width / 8, 120);
        const std::array<int, 3> right = media.RgbAt(c.width * 7 / 8, 120);
        EXPECT_TRUE(c.leftRed ? red(left) : blue(left))
            << c.crop << ": left " << left[0] << "," << left[1] << "," << left[2];
        EXPECT_TRUE(c.rightRed ? red(right) : blue(right))
            << c.crop << ": right " << right[0] << "," << right[1] << "," << right[2];
        ASSERT_EQ(std::remove(folder.File("crop.mkv").c_str()), 0);
    }
}

TEST(FeedcatFormats, WebmIsVp9AndOpusAt48k) {
    ScratchFolder folder;
    MediaReport media;
    ASSERT_NO_FATAL_FAILURE(RunFeedcatAndRead(
        {"v:" + kPattern + "@0-1000", "a:" + kTone + "@0-1000", "--quiet", "-o", "clip.webm"},
        folder, "clip.webm", &media));
    const StreamReport* video = media.Find("video");
    const StreamReport* audio = media.Find("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->codec, "vp9");
    EXPECT_EQ(video->frames, 25);
    EXPECT_EQ(audio->codec, "opus");
    EXPECT_EQ(audio->sampleRate, 48000);  // Opus's rate; the 44100 Hz delivered is resampled
    EXPECT_NEAR(audio->sampleFrames / 48000.0, 1.0, 0.03);
}

// The index (moov) comes before the media data (mdat), so the file plays while it downloads.
TEST(FeedcatFormats, Mp4AndMovHaveTheIndexFirst) {
    ScratchFolder folder;
    for (const char* output : {"first.mp4", "first.mov"}) {
        const ProcessResult run = RunFeedcat(
            {"v:" + kPattern + "@0-2000", "a:" + kTone + "@0-2000", "--quiet", "-o", output},
            folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string bytes = ReadFileBytes(folder.File(output));
        const std::size_t moov = bytes.find("moov");
        const std::size_t mdat = bytes.find("mdat");
        ASSERT_NE(moov, std::string::npos) << output;
        ASSERT_NE(mdat, std::string::npos) << output;
        EXPECT_LT(moov, mdat) << output;
        EXPECT_TRUE(ReadMedia(folder.File(output)).opened) << output;
    }
    EXPECT_EQ(folder.Entries().size(), 2u) << "the second pass leaves nothing behind";
}

TEST(FeedcatQuality, CrfBitratesAndPresetChangeTheOutput) {
    ScratchFolder folder;
    auto videoBytes = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"v:" + kPattern + "@0-2000", "--quiet", "-o", "q.mp4"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult run = RunFeedcat(args, folder);
        EXPECT_EQ(run.status, 0) << run.err;
        const MediaReport media = ReadMedia(folder.File("q.mp4"));
        const StreamReport* video = media.Find("video");
        return video != nullptr ? video->packetBytes : -1;
    };
    const std::int64_t fine = videoBytes({"--crf", "12"});
    const std::int64_t coarse = videoBytes({"--crf", "40"});
    const std::int64_t usual = videoBytes({});
    EXPECT_GT(fine, usual);
    EXPECT_GT(usual, coarse);
    EXPECT_GT(videoBytes({"--crf", "23", "--preset", "ultrafast"}), 0);
    // 2 s at 200 kb/s is about 50 kB; x264's rate control is close over so short a clip.
    const std::int64_t rated = videoBytes({"--video-bitrate", "200k"});
    EXPECT_NEAR(rated * 8 / 2.0, 200000.0, 100000.0) << rated << " bytes";

    auto audioBytes = [&](const char* rate) {
        const ProcessResult run = RunFeedcat(
            {"a:" + kTone + "@0-2000", "--audio-bitrate", rate, "--quiet", "-o", "a.mp4"}, folder);
        EXPECT_EQ(run.status, 0) << run.err;
        const MediaReport media = ReadMedia(folder.File("a.mp4"));
        const StreamReport* audio = media.Find("audio");
        return audio != nullptr ? audio->packetBytes : -1;
    };
    EXPECT_GT(audioBytes("192k"), 2 * audioBytes("32k"));
}

TEST(FeedcatFormats, FractionalFrameRateStaysExact) {
    ScratchFolder folder;
    const ProcessResult run = RunFeedcat(
        {"v:" + kPattern + "@0-2s", "--fps", "30000/1001", "--quiet", "-o", "ntsc.mkv"}, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    const MediaReport media = ReadMedia(folder.File("ntsc.mkv"));
    const StreamReport* video = media.Find("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->frameRate.num, 30000);
    EXPECT_EQ(video->frameRate.den, 1001);
    EXPECT_EQ(video->frames, 60);  // 2 s at 29.97 fps: 59.94 frames, the last one begun
    EXPECT_NEAR(video->durationSeconds, 60 * 1001 / 30000.0, 0.002);
}

TEST(FeedcatOverwrite, NoOverwriteKeepsAnExistingFileAndYReplacesIt) {
    ScratchFolder folder;
    const std::string output = folder.File("out.mkv");
    {
        std::ofstream existing(output);
        existing << "earlier";
    }
    const std::vector<std::string> source = {"v:" + kPattern + "@0-500ms", "--quiet"};
    std::vector<std::string> args = source;
    args.insert(args.end(), {"-n", "-o", "out.mkv"});
    const ProcessResult refused = RunFeedcat(args, folder);
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("exists"), std::string::npos) << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_EQ(ReadFileBytes(output), "earlier");
    EXPECT_EQ(folder.Entries().size(), 1u);

    for (const char* replace : {"-y", "--overwrite", ""}) {
        {
            std::ofstream existing(output);
            existing << "earlier";
        }
        args = source;
        if (replace[0] != '\0') {
            args.push_back(replace);
        }
        args.insert(args.end(), {"-o", "out.mkv"});
        const ProcessResult replaced = RunFeedcat(args, folder);
        EXPECT_EQ(replaced.status, 0) << replace << ": " << replaced.err;
        EXPECT_TRUE(ReadMedia(output).opened) << replace;
        EXPECT_EQ(folder.Entries().size(), 1u);
    }
}

// Output to a pipe whose reader has gone: a write error naming the reason, status 1.
TEST(FeedcatPipe, AClosedPipeSaysBrokenPipe) {
    ScratchFolder folder;
    int ends[2] = {-1, -1};
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // nobody reads
    const std::string errPath = folder.File("err.txt");
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(ends[1], STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execl(FEEDCAT_BINARY, FEEDCAT_BINARY, ("v:" + kPattern + "@0-3000").c_str(), "--format",
              "nut", "--quiet", "-o", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = ReadFileBytes(errPath);
    EXPECT_NE(err.find("cannot write to standard output: Broken pipe"), std::string::npos) << err;
}

TEST(FeedcatVersion, NamesTheLibraryAndFfmpeg) {
    ScratchFolder folder;
    const ProcessResult version = RunFeedcat({"--version"}, folder);
    EXPECT_EQ(version.status, 0);
    for (const char* part : {"feedcat 1.", "feed library 1.", "FFmpeg ", "libavformat ",
                             "libavcodec ", "libavutil "}) {
        EXPECT_NE(version.out.find(part), std::string::npos) << part << " in " << version.out;
    }
}

}  // namespace
}  // namespace feedcat_test
