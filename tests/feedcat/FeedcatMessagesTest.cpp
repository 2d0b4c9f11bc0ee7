// What feedcat says, run on files it wrote itself: a source without the asked stream, times
// past a file's end, warnings at each level and in --json, FFmpeg's own messages, and a
// broken file's reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "FeedcatProcess.h"
#include "MediaCheck.h"

namespace feedcat_test {
namespace {

// A one-second tone, written by feedcat from a lavfi graph.
void WriteTone(const ScratchFolder& folder, const std::string& name) {
    const ProcessResult run = RunFeedcat(
        {"a:lavfi:sine=frequency=440:sample_rate=44100:duration=1@0-1000", "--quiet", "-o", name},
        folder);
    ASSERT_EQ(run.status, 0) << run.err;
}

// An MP4 that has a file type box and data but no index (moov), as a download cut short
// before its index leaves it.
void WriteIndexlessMp4(const std::string& path) {
    const char bytes[] =
        "\x00\x00\x00\x18"
        "ftypisom\x00\x00\x02\x00isomiso2"
        "\x00\x00\x00\x10"
        "mdatabcdefgh";
    std::ofstream out(path, std::ios::binary);
    out.write(bytes, sizeof(bytes) - 1);
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

bool AnyLineStartsWith(const std::string& text, const std::string& start) {
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        if (text.compare(at, start.size(), start) == 0) {
            return true;
        }
        if (text.find('\n', at) == std::string::npos) {
            break;
        }
    }
    return false;
}

// A file without the stream a source asks for is an error naming file and stream, and nothing
// is written; --allow-missing plays it as black, with a warning.
TEST(FeedcatMissingStream, IsAnErrorUnlessAllowed) {
    ScratchFolder folder;
    WriteTone(folder, "tone.wav");
    const ProcessResult refused = RunFeedcat({"v:tone.wav@0-1000", "-o", "out.mkv"}, folder);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("'tone.wav' has no video stream"), std::string::npos) << refused.err;
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"tone.wav"});

    const ProcessResult allowed =
        RunFeedcat({"v:tone.wav@0-1000", "--allow-missing", "--quiet", "-o", "out.mkv"}, folder);
    ASSERT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_NE(allowed.err.find("warning: "), std::string::npos) << allowed.err;
    EXPECT_NE(allowed.err.find("'tone.wav' has no video stream"), std::string::npos) << allowed.err;
    const MediaReport media = ReadMedia(folder.File("out.mkv"));
    ASSERT_TRUE(media.opened);
    ASSERT_NE(media.Find("video"), nullptr);
    EXPECT_EQ(media.Find("video")->frames, 25);
    EXPECT_LT(media.firstRed + media.firstGreen + media.firstBlue, 10) << "black";
}

// Times past a file's end are a warning naming the file and its real length, shown even with
// --quiet; only -v quiet silences it.
TEST(FeedcatPastTheEnd, WarnsWithTheRealLengthUnlessLevelIsQuiet) {
    ScratchFolder folder;
    WriteTone(folder, "tone.wav");
    const ProcessResult quiet =
        RunFeedcat({"a:tone.wav@0-3s", "--quiet", "-o", "long.wav"}, folder);
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_NE(quiet.err.find("warning: "), std::string::npos) << quiet.err;
    EXPECT_NE(quiet.err.find("'tone.wav'"), std::string::npos) << quiet.err;
    EXPECT_NE(quiet.err.find("ends at 1.000 s"), std::string::npos) << quiet.err;
    EXPECT_EQ(Count(quiet.err, "\n"), 1u) << quiet.err;
    const MediaReport media = ReadMedia(folder.File("long.wav"));
    ASSERT_NE(media.Find("audio"), nullptr);
    EXPECT_EQ(media.Find("audio")->sampleFrames, 3 * 44100) << "the rest plays as silence";

    for (const char* level : {"error", "warning", "info", "verbose"}) {
        const ProcessResult run =
            RunFeedcat({"a:tone.wav@0-3s", "--quiet", "-v", level, "-o", "long.wav"}, folder);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("ends at 1.000 s"), std::string::npos) << level << ": " << run.err;
    }
    const ProcessResult silent =
        RunFeedcat({"a:tone.wav@0-3s", "-v", "quiet", "-o", "long.wav"}, folder);
    ASSERT_EQ(silent.status, 0) << silent.err;
    EXPECT_EQ(silent.err, "");
}

// --json lists each warning with the source it is about.
TEST(FeedcatJson, ListsWarningsEachWithItsSource) {
    ScratchFolder folder;
    WriteTone(folder, "tone.wav");
    const ProcessResult run = RunFeedcat(
        {"a:tone.wav@0-2000", "v:gone.mp4@0-1000", "--allow-missing", "--json", "-o", "null"},
        folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"warnings\":2"), std::string::npos) << run.out;
    const std::size_t list = run.out.find("\"warning_list\":[");
    ASSERT_NE(list, std::string::npos) << run.out;
    EXPECT_EQ(Count(run.out, "{\"source\":"), 2u) << run.out;
    EXPECT_NE(run.out.find("{\"source\":\"tone.wav\",\"message\":\"", list), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("{\"source\":\"gone.mp4\",\"message\":\"", list), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("ends at 1.000 s"), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << "one JSON object";
}

// FFmpeg's own lines go through feedcat's log: none in FFmpeg's raw "[mov,mp4,... @ 0x...]"
// form, and the error names the file and FFmpeg's reason once. With --allow-missing the engine
// opens the file again; its messages do not repeat at the default level.
TEST(FeedcatLibavMessages, AreRoutedAndTheErrorNamesFileAndReason) {
    ScratchFolder folder;
    WriteIndexlessMp4(folder.File("cut.mp4"));
    const ProcessResult refused = RunFeedcat({"v:cut.mp4@0-1000", "-o", "out.mkv"}, folder);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.find(" @ 0x"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("[mov,mp4"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("feedcat: cannot open source 'cut.mp4': moov atom not found"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(Count(refused.err, "moov atom not found"), 1u) << refused.err;
    EXPECT_FALSE(AnyLineStartsWith(refused.err, "[")) << refused.err;
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"cut.mp4"});

    const ProcessResult allowed =
        RunFeedcat({"v:cut.mp4@0-1000", "--allow-missing", "--quiet", "-o", "out.mkv"}, folder);
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_EQ(allowed.err.find(" @ 0x"), std::string::npos) << allowed.err;
    EXPECT_EQ(Count(allowed.err, "moov atom not found"), 1u) << allowed.err;
    EXPECT_NE(allowed.err.find("warning: cannot open source 'cut.mp4': moov atom not found"),
              std::string::npos)
        << allowed.err;
    EXPECT_FALSE(AnyLineStartsWith(allowed.err, "[")) << allowed.err;
}

// Times written as seconds and minutes cut the same span as milliseconds.
TEST(FeedcatTimes, SecondsAndMinutesCutTheSameSpan) {
    ScratchFolder folder;
    for (const char* source : {"v:lavfi:testsrc2=size=320x240:rate=25:duration=3@500-2000",
                               "v:lavfi:testsrc2=size=320x240:rate=25:duration=3@0.5s-2s",
                               "v:lavfi:testsrc2=size=320x240:rate=25:duration=3@500ms-0:02",
                               "v:lavfi:testsrc2=size=320x240:rate=25:duration=3@0:00.5-0:00:02"}) {
        const ProcessResult run = RunFeedcat({source, "--quiet", "-o", "span.y4m"}, folder);
        ASSERT_EQ(run.status, 0) << source << ": " << run.err;
        const MediaReport media = ReadMedia(folder.File("span.y4m"));
        ASSERT_NE(media.Find("video"), nullptr) << source;
        EXPECT_EQ(media.Find("video")->frames, 38) << source;  // 1.5 s at 25 fps, rounded up
    }
}

}  // namespace
}  // namespace feedcat_test
