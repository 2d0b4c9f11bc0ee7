#include "cli/ArgumentParser.h"

#include <gtest/gtest.h>

#include <array>
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

TEST(ArgumentParserGood, TimesAsUsersWriteThem) {
    struct Case {
        const char* source;
        std::int32_t startMs;
        std::int32_t stopMs;
    };
    for (const Case& c :
         {Case{"v:clip.mp4@1s-3s", 1000, 3000}, Case{"v:clip.mp4@0:01-0:03", 1000, 3000},
          Case{"v:clip.mp4@1.5s-3s", 1500, 3000}, Case{"v:clip.mp4@1500ms-2:00.250", 1500, 120250},
          Case{"v:clip.mp4@1:00:00-1:00:01.5", 3600000, 3601500},
          Case{"v:clip.mp4@100-2000", 100, 2000}}) {
        const ParseResult result = Parse({c.source, "-o", "x.mp4"});
        ASSERT_EQ(result.action, ParseResult::Action::kRun) << c.source << ": " << result.error;
        const SourceArg& source = result.options.sources[0];
        EXPECT_EQ(source.file, "clip.mp4") << c.source;
        EXPECT_TRUE(source.hasTimes) << c.source;
        EXPECT_EQ(source.startMs, c.startMs) << c.source;
        EXPECT_EQ(source.stopMs, c.stopMs) << c.source;
        EXPECT_EQ(source.given, c.source);
    }
    // Names with an "@" that is no time stay whole.
    for (const char* name : {"icon@2x.png", "take@home.mp4", "x@2020-01-05.mp4"}) {
        const ParseResult result = Parse({(std::string("v:") + name).c_str(), "-o", "x.mp4"});
        ASSERT_EQ(result.action, ParseResult::Action::kRun) << name << ": " << result.error;
        EXPECT_EQ(result.options.sources[0].file, name);
        EXPECT_FALSE(result.options.sources[0].hasTimes) << name;
    }
}

TEST(ArgumentParserGood, RatesAsFractionsAndNames) {
    struct Case {
        const char* text;
        int num;
        int den;
    };
    for (const Case& c :
         {Case{"30000/1001", 30000, 1001}, Case{"ntsc", 30000, 1001}, Case{"pal", 25, 1},
          Case{"film", 24, 1}, Case{"25", 25, 1}, Case{"24000/1001", 24000, 1001},
          Case{"1000", 1000, 1}, Case{"1", 1, 1}}) {
        const ParseResult result = Parse({"av:a.mp4", "--fps", c.text, "-o", "x.mp4"});
        ASSERT_EQ(result.action, ParseResult::Action::kRun) << c.text << ": " << result.error;
        EXPECT_EQ(result.options.fps.num, c.num) << c.text;
        EXPECT_EQ(result.options.fps.den, c.den) << c.text;
    }
}

TEST(ArgumentParserGood, EncodingAndMessageOptions) {
    const ParseResult result =
        Parse({"av:a.mp4", "--crf", "18.5", "--preset", "slow", "--audio-bitrate", "128k", "--crop",
               "10,20,330,260", "-n", "-v", "warning", "--allow-missing", "--video-fade-in",
               "1.5s:FF0000", "--audio-fade-out", "0:02", "-o", "x.mp4"});
    ASSERT_EQ(result.action, ParseResult::Action::kRun) << result.error;
    const Options& o = result.options;
    EXPECT_DOUBLE_EQ(o.crf, 18.5);
    EXPECT_EQ(o.preset, "slow");
    EXPECT_EQ(o.audioBitrate, 128000);
    EXPECT_EQ(o.videoBitrate, 0);
    EXPECT_TRUE(o.hasCrop);
    EXPECT_EQ(o.crop, (std::array<std::int32_t, 4>{10, 20, 330, 260}));
    EXPECT_TRUE(o.noOverwrite);
    EXPECT_EQ(o.logLevel, LogLevel::kWarning);
    EXPECT_TRUE(o.allowMissing);
    EXPECT_EQ(o.videoFadeIn.lengthMs, 1500);
    EXPECT_EQ(o.videoFadeIn.colour, 0xFF0000u);
    EXPECT_EQ(o.audioFadeOut.lengthMs, 2000);

    const ParseResult other = Parse({"av:a.mp4", "--video-bitrate", "2.5M", "-y", "--crop",
                                     "-1,-1,-1,-1", "--loglevel=quiet", "-o", "x.mp4"});
    ASSERT_EQ(other.action, ParseResult::Action::kRun) << other.error;
    EXPECT_EQ(other.options.videoBitrate, 2500000);
    EXPECT_TRUE(other.options.overwrite);
    EXPECT_FALSE(other.options.hasCrop) << "-1,-1,-1,-1 is no crop";
    EXPECT_EQ(other.options.logLevel, LogLevel::kQuiet);
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
    // --play needs no output, and --demo then writes none.
    for (const ParseResult& played : {Parse({"av:a.mp4", "--play"}), Parse({"--demo", "--play"})}) {
        ASSERT_EQ(played.action, ParseResult::Action::kRun) << played.error;
        EXPECT_TRUE(played.options.play);
        EXPECT_EQ(played.options.output, "");
    }
}

TEST(ArgumentParserBad, UnknownOptionAndMissingValues) {
    ExpectError({"av:a.mp4", "--bogus", "-o", "x.mp4"}, "unknown option '--bogus'");
    ExpectError({"av:a.mp4", "-o"}, "needs a value");
    ExpectError({"av:a.mp4", "-o", "x.mp4", "--fps"}, "needs a value");
    ExpectError({"av:a.mp4"}, "no output");
    ExpectError({"-o", "x.mp4"}, "no SOURCE");
}

TEST(ArgumentParserBad, SourcesAndTimes) {
    ExpectError({"v:a.mp4@2000-1000", "-o", "x.mp4"}, "times out of order");
    ExpectError({"v:a.mp4@1000-1000", "-o", "x.mp4"}, "an empty span plays nothing");
    ExpectError({"v:a.mp4@-1s-5s", "-o", "x.mp4"}, "START cannot be negative");
    ExpectError({"v:a.mp4@-500-2000", "-o", "x.mp4"}, "START cannot be negative");
    ExpectError({"v:a.mp4@1s-2s-3s", "-o", "x.mp4"}, "bad times");
    ExpectError({"v:@0-100", "-o", "x.mp4"}, "names no file");
    ExpectError({"v:lavfi:testsrc2", "-o", "x.mp4"}, "needs explicit times");
    ExpectError({"v:lavfi:testsrc2@1s-", "-o", "x.mp4"}, "needs explicit times");
}

// A bare file name is av:; a span may leave out its start or its end.
TEST(ArgumentParserGood, BareNamesAndOpenSpans) {
    struct Case {
        const char* source;
        SourceKind kind;
        const char* file;
        bool hasTimes;
        bool openEnd;
        std::int32_t startMs;
        std::int32_t stopMs;
    };
    for (const Case& c :
         {Case{"clip.mp4", SourceKind::kBoth, "clip.mp4", false, false, 0, 0},
          Case{"clip.mp4@2s-", SourceKind::kBoth, "clip.mp4", true, true, 2000, 0},
          Case{"a:clip.mp4@-10s", SourceKind::kAudio, "clip.mp4", true, false, 0, 10000},
          Case{"v:clip.mp4@1:30-", SourceKind::kVideo, "clip.mp4", true, true, 90000, 0},
          Case{"x:a.mp4", SourceKind::kBoth, "x:a.mp4", false, false, 0, 0},
          Case{"clip@-.mp4", SourceKind::kBoth, "clip@-.mp4", false, false, 0, 0}}) {
        const ParseResult result = Parse({c.source, "-o", "x.mp4"});
        ASSERT_EQ(result.action, ParseResult::Action::kRun) << c.source << ": " << result.error;
        const SourceArg& source = result.options.sources[0];
        EXPECT_EQ(source.kind, c.kind) << c.source;
        EXPECT_EQ(source.file, c.file) << c.source;
        EXPECT_EQ(source.hasTimes, c.hasTimes) << c.source;
        EXPECT_EQ(source.openEnd, c.openEnd) << c.source;
        EXPECT_EQ(source.startMs, c.startMs) << c.source;
        EXPECT_EQ(source.stopMs, c.stopMs) << c.source;
    }
}

// A span or fade in bare numbers under a second is a warning with the fix; once per message.
TEST(ArgumentParserGood, ShortBareMillisecondsWarn) {
    struct Case {
        std::vector<const char*> args;
        const char* warning;  // "" for none
    };
    for (const Case& c :
         {Case{{"clip.mp4@0-5"},
               "'@0-5' is 5 ms: bare numbers are milliseconds; write 0-5s for seconds"},
          Case{{"clip.mp4@1-3"}, "'@1-3' is 2 ms: bare numbers are milliseconds; write 1s-3s"},
          Case{{"clip.mp4@-500"}, "'@-500' is 500 ms: bare numbers are milliseconds; write -500s"},
          Case{{"clip.mp4@0-999"}, "is 999 ms"}, Case{{"clip.mp4@0-1000"}, ""},
          Case{{"clip.mp4@0-5s"}, ""}, Case{{"clip.mp4@0ms-500ms"}, ""},
          Case{{"clip.mp4@0:00-0:01"}, ""},
          Case{{"clip.mp4", "--video-fade-in", "1"},
               "'--video-fade-in 1' is 1 ms: bare numbers are milliseconds; write 1s for seconds"},
          Case{{"clip.mp4", "--audio-fade-out", "300"}, "'--audio-fade-out 300' is 300 ms"},
          Case{{"clip.mp4", "--video-fade-out", "20:FF0000"}, "'--video-fade-out 20' is 20 ms"},
          Case{{"clip.mp4", "--audio-fade-in", "300ms"}, ""},
          Case{{"clip.mp4", "--bars", "202020", "--clip-mode", "stretch"},
               "--bars colours the bars of --clip-mode fit"},
          Case{{"clip.mp4", "--bars", "202020"}, ""}}) {
        std::vector<const char*> argv = {"feedcat"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.end(), {"-o", "x.mp4"});
        const ParseResult result = ParseArguments(static_cast<int>(argv.size()), argv.data());
        ASSERT_EQ(result.action, ParseResult::Action::kRun) << c.args[0] << ": " << result.error;
        const std::string what = c.args.size() > 1 ? c.args[1] : c.args[0];
        if (c.warning[0] == '\0') {
            EXPECT_TRUE(result.warnings.empty()) << what << ": " << result.warnings[0].message;
        } else {
            ASSERT_EQ(result.warnings.size(), 1u) << what;
            EXPECT_NE(result.warnings[0].message.find(c.warning), std::string::npos)
                << what << ": " << result.warnings[0].message;
        }
    }
    const ParseResult twice = Parse({"a.mp4@0-5", "b.mp4@0-5", "-o", "x.mp4"});
    EXPECT_EQ(twice.warnings.size(), 1u) << "the same span written twice warns once";
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
    ExpectError({"av:a.mp4", "--strict", "--allow-missing", "-o", "x.mp4"}, "contradict");
    ExpectError({"av:a.mp4", "-y", "-n", "-o", "x.mp4"}, "contradict");
    ExpectError({"av:a.mp4", "--crf", "20", "--video-bitrate", "1M", "-o", "x.mp4"}, "contradict");
    ExpectError({"av:a.mp4", "--json=1", "-o", "x.mp4"}, "takes no value");
    ExpectError({"av:a.mp4", "--play", "-o", "x.mp4"}, "give -o or --play, not both");
    ExpectError({"av:a.mp4", "--play", "--crf", "20"}, "--play writes no file");
}

// ffmpeg's usual options are refused with the feedcat way to say them.
TEST(ArgumentParserBad, FfmpegHabitsGetTheFeedcatWay) {
    struct Case {
        std::vector<const char*> args;
        const char* says;
    };
    for (const Case& c :
         {Case{{"-r", "25"}, "unknown option '-r': feedcat is not ffmpeg; use --fps 25"},
          Case{{"-i", "in.mp4"}, "give the file as a SOURCE without -i: in.mp4"},
          Case{{"-t", "10"}, "FILE@-10s"}, Case{{"-t", "0:30"}, "FILE@-0:30"},
          Case{{"-ss", "5.5"}, "FILE@5.5s-"}, Case{{"-to", "20"}, "FILE@START-20s"},
          Case{{"-an"}, "use v:FILE"}, Case{{"-vn"}, "use a:FILE"},
          Case{{"-s", "640x360"}, "use --size 640x360"},
          Case{{"-ar", "48000"}, "--sample-rate 48000"}, Case{{"-ac", "1"}, "use --channels 1"},
          Case{{"-c:v", "libx264"}, "--video-codec libx264"},
          Case{{"-b:a", "128k"}, "--audio-bitrate 128k"}, Case{{"-f", "nut"}, "use --format nut"},
          Case{{"-r"}, "use --fps RATE"}, Case{{"-shortest"}, "use --shortest"},
          Case{{"-hide_banner"}, "leave it out"},
          Case{{"-q"}, "unknown option '-q' (see --help)"}}) {
        std::vector<const char*> argv = {"feedcat", "clip.mp4"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.end(), {"-o", "x.mp4"});
        const ParseResult result = ParseArguments(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(result.action, ParseResult::Action::kError) << c.args[0];
        EXPECT_NE(result.error.find(c.says), std::string::npos)
            << c.args[0] << ": " << result.error;
    }
}

TEST(ArgumentParserBad, TimesSayWhatIsAccepted) {
    ExpectError({"v:a.mp4@1.5-3", "-o", "x.mp4"}, "write 1.5s for seconds");
    ExpectError({"v:a.mp4@1-2.5", "-o", "x.mp4"}, "write 2.5s for seconds");
    ExpectError({"v:a.mp4@1:75-2:00", "-o", "x.mp4"}, "MM:SS(.mmm)");
    ExpectError({"v:a.mp4@5s", "-o", "x.mp4"}, "@START-STOP");
    ExpectError({"v:a.mp4@3s-1s", "-o", "x.mp4"}, "times out of order");
}

// Every refusal of a value names what the option accepts.
TEST(ArgumentParserBad, ValuesSayWhatIsAccepted) {
    struct Case {
        const char* option;
        const char* value;
        const char* accepted;
    };
    for (const Case& c :
         {Case{"--fps", "0", "1 to 1000"}, Case{"--fps", "1001", "30000/1001"},
          Case{"--fps", "abc", "ntsc, pal"}, Case{"--size", "8194x100", "8192"},
          Case{"--size", "640", "WIDTHxHEIGHT"}, Case{"--sample-rate", "999", "1000 to 384000"},
          Case{"--channels", "3", "1 or 2"}, Case{"--video-fade-in", "0", "above 0"},
          Case{"--audio-fade-out", "1.5", "1.5s"},
          Case{"--clip-mode", "zoom", "stretch, fit or fill"}, Case{"--bars", "red", "RRGGBB"},
          Case{"--crop", "10,10,5,20", "0 <= L < R"}, Case{"--crop", "1,2,3", "four whole numbers"},
          Case{"--crf", "64", "0 to 63"}, Case{"--preset", "quick", "ultrafast"},
          Case{"--video-bitrate", "fast", "2500k"}, Case{"--audio-bitrate", "12", "128k"},
          Case{"-v", "loud", "warning"}}) {
        ExpectError({"av:a.mp4", c.option, c.value, "-o", "x.mp4"},
                    std::string("bad value '") + c.value + "'");
        ExpectError({"av:a.mp4", c.option, c.value, "-o", "x.mp4"},
                    std::string("expected ") /* every refusal says what it expects */);
        ExpectError({"av:a.mp4", c.option, c.value, "-o", "x.mp4"}, c.accepted);
    }
    ExpectError({"av:a.mp4", "-o", "x.mp4", "--fps"}, "needs a value: a rate from 1 to 1000");
}

}  // namespace
}  // namespace feedcat
