// Opening and probing media: what ProbeMedia reports for each kind of file, and which names
// open nothing at all.
#include "media/MediaInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include <gtest/gtest.h>

#include "tests/support/media/TestMedia.h"

namespace media {

namespace {

using testmedia::Media;

MediaInfo Probe(const std::string& name) {
    MediaInfo info;
    EXPECT_TRUE(ProbeMedia(name, &info)) << name;
    return info;
}

TEST(ProbeMediaTest, ReportsStreamsLengthsSizeAndRates) {
    const MediaInfo av = Probe(Media().av);
    EXPECT_TRUE(av.hasVideo);
    EXPECT_TRUE(av.hasAudio);
    EXPECT_NEAR(av.videoLengthMs, 3000, 50);
    EXPECT_NEAR(av.audioLengthMs, 3000, 50);
    EXPECT_EQ(av.displayWidth, testmedia::kAvWidth);
    EXPECT_EQ(av.displayHeight, testmedia::kAvHeight);
    EXPECT_DOUBLE_EQ(av.frameRate, 25.0);
    EXPECT_EQ(av.sampleRate, testmedia::kAvSampleRate);

    const MediaInfo videoOnly = Probe(Media().videoOnly);
    EXPECT_TRUE(videoOnly.hasVideo);
    EXPECT_FALSE(videoOnly.hasAudio);
    EXPECT_NEAR(videoOnly.videoLengthMs, 2000, 50);
    EXPECT_EQ(videoOnly.audioLengthMs, -1);
    EXPECT_EQ(videoOnly.sampleRate, 0);
    EXPECT_EQ(videoOnly.displayWidth, testmedia::kSmallWidth);
    EXPECT_EQ(videoOnly.displayHeight, testmedia::kSmallHeight);

    const MediaInfo ramp = Probe(Media().ramp);
    EXPECT_FALSE(ramp.hasVideo);
    EXPECT_TRUE(ramp.hasAudio);
    EXPECT_EQ(ramp.videoLengthMs, -1);
    EXPECT_EQ(ramp.audioLengthMs, 1500);
    EXPECT_EQ(ramp.displayWidth, 0);
    EXPECT_EQ(ramp.displayHeight, 0);
    EXPECT_EQ(ramp.frameRate, 0.0);
    EXPECT_EQ(ramp.sampleRate, testmedia::kRampRate);

    const MediaInfo transport = Probe(Media().transportStream);
    EXPECT_TRUE(transport.hasVideo);
    EXPECT_TRUE(transport.hasAudio);
    EXPECT_NEAR(transport.videoLengthMs, 2000, 50);

    // A cover picture is no video.
    const MediaInfo cover = Probe(Media().cover);
    EXPECT_FALSE(cover.hasVideo);
    EXPECT_TRUE(cover.hasAudio);
    EXPECT_EQ(cover.displayWidth, 0);

    const MediaInfo tone = Probe(Media().tone22k);
    EXPECT_EQ(tone.sampleRate, testmedia::kToneRate);
    EXPECT_EQ(tone.audioLengthMs, 2000);
}

TEST(ProbeMediaTest, DisplaySizeAppliesRotationAndSampleAspectRatio) {
    const MediaInfo rotated = Probe(Media().rotated);
    EXPECT_EQ(rotated.displayWidth, testmedia::kSmallHeight);
    EXPECT_EQ(rotated.displayHeight, testmedia::kSmallWidth);

    // A JPEG photo's EXIF orientation, which only its decoded picture carries.
    const MediaInfo photo = Probe(Media().stillJpegTurned);
    EXPECT_EQ(photo.displayWidth, testmedia::kPhotoHeight);
    EXPECT_EQ(photo.displayHeight, testmedia::kPhotoWidth);

    const MediaInfo sar = Probe(Media().sar);
    EXPECT_EQ(sar.displayWidth, 2 * testmedia::kSmallWidth);
    EXPECT_EQ(sar.displayHeight, testmedia::kSmallHeight);
}

TEST(ProbeMediaTest, ReadsLavfiGraphs) {
    const MediaInfo video = Probe("lavfi:testsrc2=size=320x240:rate=25:duration=2");
    EXPECT_TRUE(video.hasVideo);
    EXPECT_FALSE(video.hasAudio);
    EXPECT_EQ(video.displayWidth, 320);
    EXPECT_EQ(video.displayHeight, 240);
    EXPECT_DOUBLE_EQ(video.frameRate, 25.0);

    const MediaInfo audio = Probe("lavfi:sine=frequency=1000:sample_rate=44100:duration=2");
    EXPECT_FALSE(audio.hasVideo);
    EXPECT_TRUE(audio.hasAudio);
    EXPECT_EQ(audio.sampleRate, 44100);
}

TEST(ProbeMediaTest, DamagedMissingAndEmptyNamesOpenNothing) {
    for (const std::string& name : {Media().random, Media().truncatedMp4, Media().missing,
                                    Media().directory, std::string()}) {
        MediaInfo info;
        info.hasVideo = true;
        EXPECT_FALSE(ProbeMedia(name, &info)) << name;
        EXPECT_FALSE(info.hasVideo) << name;
        EXPECT_FALSE(OpenInput(name)) << name;
    }
    // Cut in the middle of its frames, a Matroska file still opens.
    EXPECT_TRUE(Probe(Media().truncatedMkv).hasVideo);
}

TEST(OpenInputTest, OpensLocalFilesOnly) {
    const std::string av = Media().av;
    // A path with a colon in it is still a path, even where its start looks like a protocol.
    EXPECT_TRUE(OpenInput(Media().withColon));
    const std::filesystem::path workingDirectory = std::filesystem::current_path();
    std::filesystem::current_path(Media().directory);
    const bool relativeOpened = static_cast<bool>(OpenInput("with:colon.mp4"));
    std::filesystem::current_path(workingDirectory);
    EXPECT_TRUE(relativeOpened);

    const auto started = std::chrono::steady_clock::now();
    for (const std::string& name :
         {"concat:" + av + "|" + av, "subfile,,start,0,end,100000,,:" + av, "file:" + av,
          std::string("pipe:0"), std::string("fd:0"), std::string("http://127.0.0.1:9/x.mp4"),
          std::string("tcp://127.0.0.1:9"), std::string("/dev/zero")}) {
        EXPECT_FALSE(OpenInput(name)) << name;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

    // An image file whose name reads as a pattern of names is the file of that name alone:
    // "photo%03d.jpg" is the photo, never photo001.jpg beside it; with no such file, nothing.
    const std::string pattern = Media().directory + "/photo%03d.jpg";
    std::filesystem::copy_file(Media().stillJpegTurned, pattern,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(Media().stillJpeg, Media().directory + "/photo001.jpg",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(Probe(pattern).displayWidth, testmedia::kPhotoHeight);
    EXPECT_FALSE(OpenInput(Media().directory + "/still%03d.jpg"));
}

TEST(OpenInputTest, AFifoIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = Media().directory + "/fifo-" + std::to_string(getpid()) + ".mp4";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::future<bool> opened =
        std::async(std::launch::async, [&] { return static_cast<bool>(OpenInput(fifo)); });
    if (opened.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        ADD_FAILURE() << "OpenInput waits for a writer to the FIFO";
        // Opening the other end lets it go; closing it again gives it an empty stream.
        const int writer = open(fifo.c_str(), O_WRONLY);
        close(writer);
    }
    EXPECT_FALSE(opened.get());
    std::filesystem::remove(fifo);
}

TEST(OpenInputTest, PlaylistsThatNameOtherFilesAreRefused) {
    // An HLS playlist and an ffconcat list both name a file that opens on its own.
    EXPECT_TRUE(OpenInput(Media().segment));
    EXPECT_FALSE(OpenInput(Media().playlist));
    EXPECT_FALSE(OpenInput(Media().concatList));
}

TEST(OpenInputTest, LavfiGraphsMayNotReadFilesOrOpenUrls) {
    EXPECT_TRUE(OpenInput("lavfi:testsrc2=size=64x48:rate=5:duration=1"));
    EXPECT_TRUE(OpenInput("lavfi:color=c=red:size=32x32:duration=1,format=yuv420p[out0]"));
    for (const std::string& graph :
         {"lavfi:movie=" + Media().av, std::string("lavfi:amovie=x.mp4"),
          std::string("lavfi:testsrc,drawtext=textfile=/etc/passwd"),
          std::string("lavfi:sine,azmq"), std::string("lavfi:testsrc2,sendcmd=f=/etc/hosts"),
          std::string("lavfi:testsrc2 , movie@m=x.mp4"), std::string("lavfi:"),
          // one output per graph
          std::string("lavfi:sine=frequency=440:duration=1[out0];testsrc=duration=1[out1]"),
          std::string("lavfi:nosuchfilter")}) {
        EXPECT_FALSE(OpenInput(graph)) << graph;
    }
}

}  // namespace

}  // namespace media
