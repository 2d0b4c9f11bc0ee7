#include "ArgumentParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace feedcat {
namespace {

ParseResult Parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv = {"feedcat"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseArguments(static_cast<int>(argv.size()), argv.data());
}

void ExpectError(std::initializer_list<const char*> args, const std::string& mentions) {
    const ParseResult result = Parse(args);
    EXPECT_EQ(result.action, ParseResult::Action::kError);
    EXPECT_NE(result.error.find(mentions), std::string::npos) << result.error;
}

TEST(ArgumentParserGood, SourcesWithAndWithoutTimes) {
    const ParseResult result =
        Parse({"v:a.mp4@100-2000", "a:b.mp3", "av:lavfi:sine=f=440@0-500", "-o", "out.mp4"});
    ASSERT_EQ(result.action, ParseResult::Action::kRun) << result.error;
    const Options& options = result.options;
    ASSERT_EQ(options.sources.size(), 3u);
    EXPECT_EQ(options.sources[0].kind, SourceKind::kVideo);
    EXPECT_EQ(options.sources[0].file, "a.mp4");
    EXPECT_TRUE(options.sources[0].hasTimes);
    EXPECT_EQ(options.sources[0].startMs, 100);
    EXPECT_EQ(options.sources[0].stopMs, 2000);
    EXPECT_EQ(options.sources[1].kind, SourceKind::kAudio);
    EXPECT_FALSE(options.sources[1].hasTimes);
    EXPECT_EQ(options.sources[2].kind, SourceKind::kBoth);
    EXPECT_EQ(options.sources[2].file, "lavfi:sine=f=440");
    EXPECT_EQ(options.output, "out.mp4");
    EXPECT_TRUE(options.sync);
}

TEST(ArgumentParserGood, AtSignThatIsNotTimesBelongsToTheName) {
    const ParseResult result = Parse({"v:clip@home.mp4", "-o", "x.mkv"});
    ASSERT_EQ(result.action, ParseResult::Action::kRun) << result.error;
    EXPECT_EQ(result.options.sources[0].file, "clip@home.mp4");
    EXPECT_FALSE(result.options.sources[0].hasTimes);
}

TEST(ArgumentParserGood, EverySetting) {
    const ParseResult result =
        Parse({"av:a.mp4",        "--size",     "640x360",          "--fps=29.97",
               "--sample-rate",   "48000",      "--channels",       "1",
               "--video-fade-in", "500:FF8000", "--video-fade-out", "700",
               "--audio-fade-in", "300",        "--audio-fade-out", "400",
               "--clip-mode",     "fit",        "--bars",           "#0a0B0c",
               "--no-sync",       "--quiet",    "--json",           "--strict",
               "--format",        "matroska",   "--video-codec",    "mpeg4",
               "--audio-codec",   "aac",        "--output",         "o.bin"});
    ASSERT_EQ(result.action, ParseResult::Action::kRun) << result.error;
    const Options& o = result.options;
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 360);
    EXPECT_DOUBLE_EQ(o.fps.value(), 29.97);
    EXPECT_EQ(o.sampleRate, 48000);
    EXPECT_EQ(o.channels, 1);
    EXPECT_TRUE(o.videoFadeIn.enabled);
    EXPECT_EQ(o.videoFadeIn.lengthMs, 500);
    EXPECT_EQ(o.videoFadeIn.colour, 0xFF8000u);
    EXPECT_TRUE(o.videoFadeOut.enabled);
    EXPECT_EQ(o.videoFadeOut.lengthMs, 700);
    EXPECT_EQ(o.videoFadeOut.colour, 0x000000u);
    EXPECT_EQ(o.audioFadeIn.lengthMs, 300);
    EXPECT_EQ(o.audioFadeOut.lengthMs, 400);
    EXPECT_EQ(o.clipMode, 1);
    EXPECT_TRUE(o.hasBars);
    EXPECT_EQ(o.barsColour, 0x0A0B0Cu);
    EXPECT_FALSE(o.sync);
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.json);
    EXPECT_TRUE(o.strict);
    EXPECT_EQ(o.format, "matroska");
    EXPECT_EQ(o.videoCodec, "mpeg4");
    EXPECT_EQ(o.audioCodec, "aac");
    EXPECT_EQ(o.output, "o.bin");
}

TEST(ArgumentParserGood, HelpVersionAndDemo) {
    EXPECT_EQ(Parse({"--help"}).action, ParseResult::Action::kHelp);
    EXPECT_EQ(Parse({"-h"}).action, ParseResult::Action::kHelp);
    EXPECT_EQ(Parse({"--version"}).action, ParseResult::Action::kVersion);
    const ParseResult demo = Parse({"--demo"});
    ASSERT_EQ(demo.action, ParseResult::Action::kRun) << demo.error;
    EXPECT_EQ(demo.options.output, "demo.mp4");
    const ParseResult piped = Parse({"av:a.mp4", "--format", "nut", "-o", "-"});
    ASSERT_EQ(piped.action, ParseResult::Action::kRun) << piped.error;
    EXPECT_EQ(piped.options.output, "-");
}

TEST(ArgumentParserBad, UnknownOptionAndMissingValues) {
    ExpectError({"av:a.mp4", "--bogus", "-o", "x.mp4"}, "unknown option '--bogus'");
    ExpectError({"av:a.mp4", "-o"}, "needs a value");
    ExpectError({"av:a.mp4", "-o", "x.mp4", "--fps"}, "needs a value");
    ExpectError({"av:a.mp4"}, "no output");
    ExpectError({"-o", "x.mp4"}, "no SOURCE");
}

TEST(ArgumentParserBad, SourcesAndTimes) {
    ExpectError({"x:a.mp4", "-o", "x.mp4"}, "must start with v:, a: or av:");
    ExpectError({"a.mp4", "-o", "x.mp4"}, "must start with");
    ExpectError({"v:a.mp4@2000-1000", "-o", "x.mp4"}, "times out of order");
    ExpectError({"v:a.mp4@1000-1000", "-o", "x.mp4"}, "times out of order");
    ExpectError({"v:a.mp4@12-", "-o", "x.mp4"}, "bad times");
    ExpectError({"v:@0-100", "-o", "x.mp4"}, "names no file");
    ExpectError({"v:lavfi:testsrc2", "-o", "x.mp4"}, "needs explicit times");
}

TEST(ArgumentParserBad, Values) {
    ExpectError({"av:a.mp4", "--size", "640", "-o", "x.mp4"}, "--size");
    ExpectError({"av:a.mp4", "--size", "0x360", "-o", "x.mp4"}, "--size");
    ExpectError({"av:a.mp4", "--fps", "abc", "-o", "x.mp4"}, "--fps");
    ExpectError({"av:a.mp4", "--fps", "0", "-o", "x.mp4"}, "--fps");
    ExpectError({"av:a.mp4", "--channels", "3", "-o", "x.mp4"}, "--channels");
    ExpectError({"av:a.mp4", "--sample-rate", "-44100", "-o", "x.mp4"}, "--sample-rate");
    ExpectError({"av:a.mp4", "--video-fade-in", "500:GG0000", "-o", "x.mp4"}, "--video-fade-in");
    ExpectError({"av:a.mp4", "--video-fade-out", "0", "-o", "x.mp4"}, "--video-fade-out");
    ExpectError({"av:a.mp4", "--audio-fade-in", "x", "-o", "x.mp4"}, "--audio-fade-in");
    ExpectError({"av:a.mp4", "--clip-mode", "zoom", "-o", "x.mp4"}, "--clip-mode");
    ExpectError({"av:a.mp4", "--bars", "12345", "-o", "x.mp4"}, "--bars");
}

TEST(ArgumentParserBad, ConflictingChoices) {
    ExpectError({"av:a.mp4", "--json", "--format", "nut", "-o", "-"}, "--json");
    ExpectError({"av:a.mp4", "-o", "-"}, "--format");
    ExpectError({"--demo", "av:a.mp4"}, "--demo");
}

}  // namespace
}  // namespace feedcat
