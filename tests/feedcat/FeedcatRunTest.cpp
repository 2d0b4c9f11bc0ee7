// End-to-end runs of the feedcat binary on lavfi sources, checking what it wrote.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "FeedcatProcess.h"
#include "MediaCheck.h"

namespace feedcat_test {
namespace {

const std::string kPattern = "lavfi:testsrc2=size=320x240:rate=25:duration=3";
const std::string kTone = "lavfi:sine=frequency=440:sample_rate=44100:duration=3";

TEST(FeedcatWrites, Mp4WithVideoAndAudioOfTheSessionsLength) {
    ScratchFolder folder;
    MediaReport media;
    ASSERT_NO_FATAL_FAILURE(RunFeedcatAndRead(
        {"v:" + kPattern + "@0-2000", "a:" + kTone + "@0-2000", "--quiet", "-o", "out.mp4"}, folder,
        "out.mp4", &media));
    ASSERT_EQ(media.streams.size(), 2u);
    const StreamReport* video = media.Find("video");
    const StreamReport* audio = media.Find("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_TRUE(video->codec == "h264" || video->codec == "mpeg4") << video->codec;
    EXPECT_EQ(audio->codec, "aac");
    EXPECT_EQ(video->width, 320);
    EXPECT_EQ(video->height, 240);
    EXPECT_EQ(video->frames, 50);
    EXPECT_NEAR(video->durationSeconds, 2.0, 0.04);
    EXPECT_EQ(audio->sampleRate, 44100);
    // AAC frames are 1024 samples; the last one may be padded.
    EXPECT_NEAR(static_cast<double>(audio->sampleFrames), 88200.0, 1024.0);
    EXPECT_NEAR(audio->durationSeconds, 2.0, 0.04);
    EXPECT_NEAR(media.durationSeconds, 2.0, 0.04);
    EXPECT_EQ(folder.Entries().size(), 1u) << "only the output is left";
}

TEST(FeedcatWrites, FirstFrameAfterAFadeInIsTheFadeColour) {
    ScratchFolder folder;
    MediaReport media;
    ASSERT_NO_FATAL_FAILURE(RunFeedcatAndRead(
        {"v:" + kPattern + "@0-1000", "--video-fade-in", "800:FF0000", "--quiet", "-o", "fade.mkv"},
        folder, "fade.mkv", &media));
    ASSERT_EQ(media.streams.size(), 1u);
    EXPECT_EQ(media.streams[0].frames, 25);
    EXPECT_GT(media.firstRed, 200);
    EXPECT_LT(media.firstGreen, 50);
    EXPECT_LT(media.firstBlue, 50);
}

TEST(FeedcatWrites, WavHoldsExactlyTheSessionsSamples) {
    ScratchFolder folder;
    MediaReport media;
    ASSERT_NO_FATAL_FAILURE(RunFeedcatAndRead({"a:" + kTone + "@0-1500", "--sample-rate", "48000",
                                               "--channels", "1", "--quiet", "-o", "tone.wav"},
                                              folder, "tone.wav", &media));
    ASSERT_EQ(media.streams.size(), 1u);
    EXPECT_EQ(media.streams[0].codec, "pcm_s16le");
    EXPECT_EQ(media.streams[0].sampleRate, 48000);
    EXPECT_EQ(media.streams[0].channels, 1);
    EXPECT_EQ(media.streams[0].sampleFrames, 72000);
}

TEST(FeedcatWrites, Y4mAtTheAskedSizeAndRate) {
    ScratchFolder folder;
    MediaReport media;
    ASSERT_NO_FATAL_FAILURE(RunFeedcatAndRead({"av:" + kPattern + "@0-1000", "--size", "160x120",
                                               "--fps", "10", "--quiet", "-o", "small.y4m"},
                                              folder, "small.y4m", &media));
    ASSERT_EQ(media.streams.size(), 1u);
    EXPECT_EQ(media.streams[0].type, "video");
    EXPECT_EQ(media.streams[0].width, 160);
    EXPECT_EQ(media.streams[0].height, 120);
    EXPECT_EQ(media.streams[0].frames, 10);
}

TEST(FeedcatWrites, NullOutputCountsAndPrintsJson) {
    ScratchFolder folder;
    const ProcessResult run =
        RunFeedcat({"av:" + kPattern + "@0-1000", "--quiet", "--json", "-o", "null"}, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"frames\":25"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"sample_frames\":44100"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(FeedcatWrites, DemoNeedsNoFiles) {
    ScratchFolder folder;
    const ProcessResult run = RunFeedcat({"--demo", "--quiet", "-o", "demo.mp4"}, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("demo.mp4"), std::string::npos) << run.err;
    const MediaReport media = ReadMedia(folder.File("demo.mp4"));
    ASSERT_TRUE(media.opened);
    ASSERT_EQ(media.streams.size(), 2u);
    const StreamReport* video = media.Find("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 360);
    EXPECT_EQ(video->frames, 150);
    EXPECT_NEAR(media.durationSeconds, 6.0, 0.04);
}

TEST(FeedcatRefuses, BadArgumentsWithStatus2AndNoFile) {
    ScratchFolder folder;
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus", "v:" + kPattern + "@0-1000", "-o", "x.mp4"},
        {"v:" + kPattern + "@1000-0", "-o", "x.mp4"},
        {"v:" + kPattern + "@0-1000", "-o", "x.xyz"},
        {"v:" + kPattern + "@0-1000"},
        {"v:" + kPattern + "@0-1000", "-o", "no/such/folder/x.mp4"},
    };
    for (const auto& args : cases) {
        const ProcessResult run = RunFeedcat(args, folder);
        EXPECT_EQ(run.status, 2) << args[0] << " " << args.back();
        EXPECT_NE(run.err.find("feedcat: "), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(folder.Entries().empty()) << "a file was left by " << args.back();
    }
}

TEST(FeedcatRefuses, HelpAndVersionSucceed) {
    ScratchFolder folder;
    const ProcessResult help = RunFeedcat({"--help"}, folder);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_NE(help.out.find("Examples"), std::string::npos);
    EXPECT_NE(help.out.find("NAME.nut"), std::string::npos) << "every container is listed";
    const ProcessResult version = RunFeedcat({"--version"}, folder);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.compare(0, 8, "feedcat "), 0) << version.out;
}

// A source that cannot be opened is an error by default (and with --strict, which is kept for
// old scripts); --allow-missing plays it as black, with a warning naming it.
TEST(FeedcatMissingSource, IsAnErrorUnlessAllowedAndThenAWarning) {
    ScratchFolder folder;
    const std::vector<std::string> sources = {"v:" + kPattern + "@0-1000",
                                              "av:no-such-file.mp4@0-1000",
                                              "v:http://example.invalid/x.mp4@0-500"};
    std::vector<std::string> args = sources;
    args.insert(args.end(), {"--allow-missing", "-o", "out.mkv"});
    const ProcessResult run = RunFeedcat(args, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: cannot open source 'no-such-file.mp4'"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("warning: cannot open source 'http://"), std::string::npos) << run.err;
    const MediaReport media = ReadMedia(folder.File("out.mkv"));
    ASSERT_TRUE(media.opened);
    const StreamReport* video = media.Find("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->frames, 63);  // 2.5 s at 25 fps, the missing spans black
    ASSERT_EQ(std::remove(folder.File("out.mkv").c_str()), 0);

    for (const char* strictness : {"--strict", ""}) {
        args = sources;
        if (strictness[0] != '\0') {
            args.push_back(strictness);
        }
        args.insert(args.end(), {"-o", "strict.mkv"});
        const ProcessResult strict = RunFeedcat(args, folder);
        EXPECT_EQ(strict.status, 1) << strictness;
        EXPECT_NE(strict.err.find("no-such-file.mp4"), std::string::npos) << strict.err;
        EXPECT_TRUE(folder.Entries().empty());
    }
}

// Starts a long run, waits for the encoder to get going, then sends number.
ProcessResult InterruptAfterProgress(const ScratchFolder& folder, int number,
                                     const std::string& output) {
    FeedcatProcess process(
        {"v:lavfi:testsrc2=size=320x240:rate=25@0-600000",
         "a:lavfi:sine=frequency=440:sample_rate=44100@0-600000", "--quiet", "-o", output},
        folder);
    // The output is written under a temporary name: wait until it holds some data.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool grown = false;
    while (!grown && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (const std::string& name : folder.Entries()) {
            struct stat status {};
            if (name.find(output) != std::string::npos &&
                stat(folder.File(name).c_str(), &status) == 0 && status.st_size > 100000) {
                grown = true;
            }
        }
    }
    EXPECT_TRUE(grown) << "the output never grew";
    process.Signal(number);
    return process.Wait();
}

TEST(FeedcatInterrupted, SigintFinishesAPlayableFileWithExit130) {
    ScratchFolder folder;
    const ProcessResult run = InterruptAfterProgress(folder, SIGINT, "long.mp4");
    EXPECT_EQ(run.status, 130) << run.err;
    const MediaReport media = ReadMedia(folder.File("long.mp4"));
    ASSERT_TRUE(media.opened) << "the trailer was not written";
    const StreamReport* video = media.Find("video");
    const StreamReport* audio = media.Find("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_GT(video->frames, 10);
    EXPECT_NEAR(video->durationSeconds, video->frames / 25.0, 0.001);
    // Both streams end at the same point, within one frame, although the library may deliver
    // audio ahead of video; AAC adds up to one frame of its own (1024 samples) at the end.
    EXPECT_GT(audio->sampleFrames, 0);
    EXPECT_NEAR(audio->sampleFrames / 44100.0, video->frames / 25.0, 1 / 25.0 + 1024 / 44100.0);
    EXPECT_EQ(folder.Entries().size(), 1u);
}

TEST(FeedcatInterrupted, SigtermExitsWith143) {
    ScratchFolder folder;
    const ProcessResult run = InterruptAfterProgress(folder, SIGTERM, "long.mkv");
    EXPECT_EQ(run.status, 143) << run.err;
    const MediaReport media = ReadMedia(folder.File("long.mkv"));
    ASSERT_TRUE(media.opened);
    const StreamReport* video = media.Find("video");
    ASSERT_NE(video, nullptr);
    EXPECT_GT(video->frames, 10);
}

}  // namespace
}  // namespace feedcat_test
