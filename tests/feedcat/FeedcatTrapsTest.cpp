// The traps a new user falls into and the habits users bring, run on the real binary with
// media it wrote itself; outputs read back with ffprobe and ffmpeg. Short bare-number spans
// and fades warn; pictures keep their shape; a crop sets the frame size; odd sizes are rounded
// up with a word; padding warns and --shortest ends with the shorter timeline; a bare name is
// av: and spans may be open; ffmpeg's options get the feedcat way.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "FeedcatProcess.h"
#include "FfprobeCheck.h"
#include "JsonCheck.h"
#include "tests/support/media/LosslessClips.h"
#include "tests/support/media/TestPictures.h"

namespace feedcat_test {
namespace {

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// av2.mkv: pattern and tone, 2 s, 160x120; tone4.wav: a tone of 4 s.
class FeedcatTimelines : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(testmedia::WritePatternAndTone(folder.path(), "av2.mkv", 160, 120, 2000, true,
                                                   true, &error))
            << error;
        ASSERT_TRUE(testmedia::WritePatternAndTone(folder.path(), "tone4.wav", 0, 0, 4000, false,
                                                   true, &error))
            << error;
    }
    ScratchFolder folder;
};

// A span or fade in bare numbers under a second warns with the fix, on standard error and in
// --json; the same span in seconds does not.
TEST_F(FeedcatTimelines, ShortBareMillisecondsWarnWithTheFix) {
    struct Case {
        std::vector<std::string> args;
        std::string warning;
    };
    for (const Case& c :
         {Case{{"av2.mkv@0-5"},
               "'@0-5' is 5 ms: bare numbers are milliseconds; write 0-5s for seconds"},
          Case{{"av2.mkv", "--video-fade-in", "1"},
               "'--video-fade-in 1' is 1 ms: bare numbers are milliseconds; write 1s for seconds"},
          Case{{"av2.mkv@0-1s", "--video-fade-in", "1s"}, ""}}) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--quiet", "--json", "-o", "null"});
        const ProcessResult run = RunFeedcat(args, folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> json = JsonValues(run.out, {"warning_list.0.message"});
        ASSERT_EQ(json.size(), 1u) << run.out;
        if (c.warning.empty()) {
            EXPECT_EQ(run.err, "") << c.args.back();
            EXPECT_EQ(json[0], "\"MISSING\"") << c.args.back();
        } else {
            EXPECT_NE(run.err.find("feedcat: warning: " + c.warning), std::string::npos) << run.err;
            EXPECT_EQ(json[0], "\"" + c.warning + "\"");
        }
    }
}

// Padding of more than a second warns, naming the side and the length; --shortest ends the
// output with the shorter timeline, cutting the longer one's last sources (an av: source in
// two where its halves end apart). Stream lengths as ffprobe reads them.
TEST_F(FeedcatTimelines, PaddingWarnsAndShortestEndsWithTheShorter) {
    struct Case {
        std::vector<std::string> sources;
        bool shortest;
        double videoSeconds;
        double audioSeconds;
        std::string warning;
    };
    const std::string black =
        "the video timeline (2.000 s) is 2.000 s shorter than the audio (4.000 s): its last "
        "2.000 s are black";
    const std::string silence =
        "the audio timeline (1.500 s) is 1.500 s shorter than the video (3.000 s): its last "
        "1.500 s are silence";
    for (const Case& c :
         {Case{{"v:av2.mkv@0-2s", "a:tone4.wav"}, false, 4.0, 4.0, black},
          Case{{"v:av2.mkv@0-2s", "a:tone4.wav"}, true, 2.0, 2.0, ""},
          Case{{"av2.mkv", "a:tone4.wav@0-1500ms"}, true, 2.0, 2.0, ""},
          Case{{"v:av2.mkv", "v:av2.mkv@0-1s", "a:tone4.wav@0-1500ms"}, false, 3.0, 3.0, silence},
          Case{{"v:av2.mkv", "v:av2.mkv@0-1s", "a:tone4.wav@0-1500ms"}, true, 1.5, 1.5, ""},
          Case{{"a:tone4.wav@0-1s", "av2.mkv"}, true, 2.0, 2.0, ""},
          Case{{"av2.mkv", "a:tone4.wav@0-900ms"}, false, 2.9, 2.9, ""}}) {
        std::vector<std::string> args = c.sources;
        if (c.shortest) {
            args.push_back("--shortest");
        }
        args.insert(args.end(), {"--audio-codec", "pcm_s16le", "--quiet", "-o", "out.mov"});
        const std::string what = c.sources.back() + (c.shortest ? " --shortest" : "");
        const ProcessResult run = RunFeedcat(args, folder);
        ASSERT_EQ(run.status, 0) << what << ": " << run.err;
        if (c.warning.empty()) {
            EXPECT_EQ(run.err, "") << what;
        } else {
            EXPECT_NE(run.err.find(c.warning), std::string::npos) << what << ": " << run.err;
            EXPECT_EQ(Lines(run.err), 1u) << run.err;
        }
        const ProbedFile probed = Ffprobe(folder.File("out.mov"));
        const ProbedStream* video = probed.Find("video");
        const ProbedStream* audio = probed.Find("audio");
        ASSERT_NE(video, nullptr) << what;
        ASSERT_NE(audio, nullptr) << what;
        EXPECT_NEAR(video->Number("duration"), c.videoSeconds, 0.041) << what;
        EXPECT_NEAR(audio->Number("duration"), c.audioSeconds, 0.002) << what;
        EXPECT_NEAR(video->Number("nb_read_frames"), c.videoSeconds * 25, 1.0) << what;
    }
}

// A bare file name is av: where the file has both streams, and takes the one it has without a
// word; @START- runs to the file's end and @-STOP from its start; an open span past the end is
// refused.
TEST_F(FeedcatTimelines, BareNamesAreBothAndSpansMayBeOpen) {
    struct Case {
        std::string source;
        bool video;
        bool audio;
        double seconds;
    };
    for (const Case& c :
         {Case{"av2.mkv", true, true, 2.0}, Case{"av2.mkv@1s-", true, true, 1.0},
          Case{"av2.mkv@-1500ms", true, true, 1.5}, Case{"tone4.wav@2500ms-", false, true, 1.5},
          Case{"v:av2.mkv@0:01.5-", true, false, 0.5}}) {
        const ProcessResult run = RunFeedcat(
            {c.source, "--audio-codec", "pcm_s16le", "--quiet", "-o", "out.mov"}, folder);
        ASSERT_EQ(run.status, 0) << c.source << ": " << run.err;
        EXPECT_EQ(run.err, "") << c.source;
        const ProbedFile probed = Ffprobe(folder.File("out.mov"));
        ASSERT_TRUE(probed.opened) << c.source;
        EXPECT_EQ(probed.Find("video") != nullptr, c.video) << c.source;
        EXPECT_EQ(probed.Find("audio") != nullptr, c.audio) << c.source;
        EXPECT_NEAR(probed.durationSeconds, c.seconds, 0.041) << c.source;
    }
    const ProcessResult past = RunFeedcat({"av2.mkv@5s-", "-o", "past.mov"}, folder);
    EXPECT_EQ(past.status, 2) << past.err;
    EXPECT_NE(past.err.find("starts at 5.000 s, but 'av2.mkv' ends at 2.000 s"), std::string::npos)
        << past.err;
    EXPECT_FALSE(FileExists(folder.File("past.mov")));
}

// ffmpeg's usual options are refused (status 2, one line, nothing written) with the feedcat way
// to say them.
TEST_F(FeedcatTimelines, FfmpegHabitsAreAnsweredTheFeedcatWay) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Case& c :
         {Case{{"av2.mkv", "-r", "25"}, "unknown option '-r': feedcat is not ffmpeg; use --fps 25"},
          Case{{"-i", "av2.mkv"},
               "give the file as a SOURCE without -i: av2.mkv (v:av2.mkv or a:av2.mkv"},
          Case{{"av2.mkv", "-an"}, "use v:FILE to take only the picture"},
          Case{{"av2.mkv", "-ss", "1"}, "give the source a span from there to its end: FILE@1s-"},
          Case{{"av2.mkv", "-c:a", "libopus"}, "use --audio-codec libopus"}}) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", "out.mkv"});
        const ProcessResult run = RunFeedcat(args, folder);
        EXPECT_EQ(run.status, 2) << c.args[1];
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(Lines(run.err), 1u) << run.err;
        EXPECT_FALSE(FileExists(folder.File("out.mkv")));
    }
}

// A picture of another shape keeps it: fit (bars, black unless --bars says) is the default,
// --clip-mode stretch the library's own, fill covers the frame. Pixels as ffmpeg decodes them.
TEST(FeedcatPictures, KeepTheirShapeByDefault) {
    ScratchFolder folder;
    testmedia::VideoTrack painted = testmedia::LosslessVideo(320, 240, 5);  // red
    painted.paint = testmedia::SolidColour(81, 90, 240);
    std::string error;
    ASSERT_TRUE(testmedia::WriteLosslessVideo(folder.File("red43.mkv"), painted, &error)) << error;
    auto colour = [](const std::vector<std::uint8_t>& rgb, int x, int y) {
        const std::size_t at = (static_cast<std::size_t>(y) * 640 + x) * 3;
        const int r = rgb[at];
        const int g = rgb[at + 1];
        const int b = rgb[at + 2];
        return r > 180 && g < 70 && b < 70   ? 'r'
               : g > 180 && r < 70 && b < 70 ? 'g'
               : r < 30 && g < 30 && b < 30  ? 'k'
                                             : '?';
    };
    struct Case {
        std::vector<std::string> options;
        char edge;  // at the left edge of the 16:9 frame
    };
    for (const Case& c : {Case{{}, 'k'}, Case{{"--clip-mode", "stretch"}, 'r'},
                          Case{{"--bars", "00FF00"}, 'g'}, Case{{"--clip-mode", "fill"}, 'r'},
                          Case{{"--clip-mode", "fit", "--bars", "000000"}, 'k'}}) {
        std::vector<std::string> args = {"v:red43.mkv", "--size", "640x360",
                                         "--quiet",     "-o",     "out.mkv"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const std::string what = c.options.empty() ? "(default)" : c.options[1];
        const ProcessResult run = RunFeedcat(args, folder);
        ASSERT_EQ(run.status, 0) << what << ": " << run.err;
        const std::vector<std::uint8_t> rgb = FfmpegFirstPicture(folder.File("out.mkv"), 640, 360);
        ASSERT_FALSE(rgb.empty()) << what;
        EXPECT_EQ(colour(rgb, 20, 180), c.edge) << what;
        EXPECT_EQ(colour(rgb, 320, 180), 'r') << what;
    }
}

// Without --size the frame is the first clip's picture as shown, after --crop: a cut is not
// scaled back up. A size 4:2:0 cannot hold is rounded up to even sides with a warning saying
// why (GIF takes odd heights; the library keeps widths even for every output).
TEST(FeedcatPictures, CropSetsTheSizeAndOddSizesAreRoundedWithAWarning) {
    ScratchFolder folder;
    testmedia::VideoTrack painted = testmedia::LosslessVideo(1280, 720, 2);
    painted.paint = testmedia::SolidColour(81, 90, 240);
    std::string error;
    ASSERT_TRUE(testmedia::WriteLosslessVideo(folder.File("hd.mkv"), painted, &error)) << error;
    struct Case {
        std::vector<std::string> options;
        std::string output;
        int width;
        int height;
        std::string warning;
    };
    for (const Case& c :
         {Case{{}, "plain.mkv", 1280, 720, ""},
          Case{{"--crop", "320,180,960,540"}, "cut.mkv", 640, 360, ""},
          Case{{"--crop", "0,0,33,17"},
               "oddcut.mkv",
               34,
               18,
               "the video is written at 34x18, not 34x17: yuv420p needs even sides"},
          Case{{"--size", "33x17"},
               "odd.mkv",
               34,
               18,
               "the video is written at 34x18, not 33x17: the library keeps frame widths even, "
               "and yuv420p needs even sides"},
          Case{{"--size", "33x17"},
               "odd.gif",
               34,
               17,
               "the video is written at 34x17, not 33x17: the library keeps frame widths even"},
          Case{{"--size", "34x18"}, "even.mkv", 34, 18, ""}}) {
        std::vector<std::string> args = {"v:hd.mkv", "--fps", "25", "--quiet", "-o", c.output};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProcessResult run = RunFeedcat(args, folder);
        ASSERT_EQ(run.status, 0) << c.output << ": " << run.err;
        const ProbedFile probed = Ffprobe(folder.File(c.output));
        const ProbedStream* video = probed.Find("video");
        ASSERT_NE(video, nullptr) << c.output;
        EXPECT_EQ(video->Number("width"), c.width) << c.output;
        EXPECT_EQ(video->Number("height"), c.height) << c.output;
        if (c.warning.empty()) {
            EXPECT_EQ(run.err, "") << c.output;
        } else {
            EXPECT_NE(run.err.find("feedcat: warning: " + c.warning), std::string::npos)
                << c.output << ": " << run.err;
        }
    }
}

}  // namespace
}  // namespace feedcat_test
