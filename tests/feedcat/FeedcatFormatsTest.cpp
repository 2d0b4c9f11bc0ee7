// The output container follows the extension for every container `feedcat --formats` lists:
// each writes a file that ffprobe reads, holding the streams and codecs listed, and --json
// names the encoders, size, rate and sample rate chosen. A container of one kind refuses a
// source of only the other.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FeedcatProcess.h"
#include "FfprobeCheck.h"
#include "JsonCheck.h"
#include "tests/support/media/LosslessClips.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace feedcat_test {
namespace {

struct Listed {
    std::string extension;  // the first of its line, without the dot
    std::string muxer;
    std::string video;  // encoder name, or "-"
    std::string audio;
};

// "  .m4a .m4b             ipod            video: -, audio: aac"
std::vector<Listed> ListedFormats(const std::string& text) {
    std::vector<Listed> formats;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> parts;
        for (std::string word; words >> word;) {
            parts.push_back(word);
        }
        if (parts.size() < 5 || parts[0][0] != '.') {
            continue;
        }
        Listed format;
        format.extension = parts[0].substr(1);
        std::size_t at = 1;
        while (at < parts.size() && parts[at][0] == '.') {
            ++at;
        }
        if (at + 4 > parts.size() || parts[at + 1] != "video:" || parts[at + 3] != "audio:") {
            continue;
        }
        format.muxer = parts[at];
        format.video = parts[at + 2].substr(0, parts[at + 2].size() - 1);  // without the comma
        format.audio = parts[at + 4];
        formats.push_back(format);
    }
    return formats;
}

// The codec ffprobe names for what encoder writes.
std::string CodecOf(const std::string& encoder, const std::string& muxer) {
    if (encoder == "wrapped_avframe") {
        return "rawvideo";
    }
    if (muxer == "latm") {
        return "aac_latm";
    }
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    return codec != nullptr ? avcodec_get_name(codec->id) : "?";
}

// src.mkv: pattern and tone, 96x64, 0.4 s.
class FeedcatContainers : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(testmedia::WritePatternAndTone(folder.path(), "src.mkv", 96, 64, 400, true,
                                                   true, &error))
            << error;
    }
    ScratchFolder folder;
};

class FeedcatEveryFormat : public FeedcatContainers, public ::testing::WithParamInterface<int> {};

// The listed formats are shared among kParts tests, so that each stays short.
constexpr int kParts = 6;

TEST_P(FeedcatEveryFormat, WritesWhatItListsAndNamesTheEncoders) {
    const ProcessResult listing = RunFeedcat({"--formats"}, folder);
    ASSERT_EQ(listing.status, 0);
    const std::vector<Listed> formats = ListedFormats(listing.out);
    // The usual ones are there whatever else this FFmpeg has.
    for (const char* usual : {"mp4", "mkv", "mov", "webm", "wav", "y4m", "nut", "mp3", "m4a",
                              "flac", "ogg", "gif", "ts", "avi"}) {
        EXPECT_NE(listing.out.find(" ." + std::string(usual) + " "), std::string::npos)
            << "." << usual << " is not listed:\n"
            << listing.out;
    }
    ASSERT_GE(formats.size(), 30u) << listing.out;
    std::vector<Listed> part;
    for (std::size_t i = static_cast<std::size_t>(GetParam()); i < formats.size(); i += kParts) {
        part.push_back(formats[i]);
    }

    // A few at a time: most of each run is waiting for the library's threads.
    constexpr std::size_t kAtOnce = 3;
    for (std::size_t first = 0; first < part.size(); first += kAtOnce) {
        std::vector<std::unique_ptr<FeedcatProcess>> running;
        const std::size_t end = std::min(part.size(), first + kAtOnce);
        for (std::size_t i = first; i < end; ++i) {
            const Listed& format = part[i];
            std::vector<std::string> args;
            if (format.video != "-") {
                args.push_back("v:src.mkv");
            }
            if (format.audio != "-") {
                args.push_back("a:src.mkv");
            }
            args.insert(args.end(), {"--quiet", "--json", "-o", "out." + format.extension});
            running.push_back(std::make_unique<FeedcatProcess>(args, folder, format.extension));
        }
        for (std::size_t i = first; i < end; ++i) {
            const Listed& format = part[i];
            const std::string what = "." + format.extension + " (" + format.muxer + ")";
            const ProcessResult run = running[i - first]->Wait();
            ASSERT_EQ(run.status, 0) << what << ": " << run.err;
            const ProbedFile probed = Ffprobe(folder.File("out." + format.extension));
            ASSERT_TRUE(probed.opened) << what;
            const std::vector<std::string> json =
                JsonValues(run.out, {"video.encoder", "video.width", "video.height",
                                     "video.frame_rate", "audio.encoder", "audio.sample_rate"});
            ASSERT_EQ(json.size(), 6u) << what << ": " << run.out;
            const ProbedStream* video = probed.Find("video");
            const ProbedStream* audio = probed.Find("audio");
            ASSERT_EQ(video != nullptr, format.video != "-") << what;
            ASSERT_EQ(audio != nullptr, format.audio != "-") << what;
            if (video != nullptr) {
                EXPECT_EQ((*video)["codec_name"], CodecOf(format.video, format.muxer)) << what;
                EXPECT_EQ(json[0], "\"" + format.video + "\"") << what;
                EXPECT_EQ(json[1], (*video)["width"]) << what;
                EXPECT_EQ(json[2], (*video)["height"]) << what;
                EXPECT_EQ(json[3], "\"25/1\"") << what;
                EXPECT_GT(video->Number("nb_read_frames"), 0) << what;
            } else {
                EXPECT_EQ(json[0], "\"MISSING\"") << what;  // "video": null
            }
            if (audio != nullptr) {
                EXPECT_EQ((*audio)["codec_name"], CodecOf(format.audio, format.muxer)) << what;
                EXPECT_EQ(json[4], "\"" + format.audio + "\"") << what;
                // An Opus decoder gives 48000 Hz whatever the rate encoded.
                if (format.audio != "libopus") {
                    EXPECT_EQ(json[5], (*audio)["sample_rate"]) << what;
                }
            }
        }
    }
}

// A container of sound only refuses a source of pictures only, and one of pictures only a
// source of sound only (status 2, naming the source, nothing written); an av: source gives
// the kind the container holds.
TEST_F(FeedcatContainers, AContainerOfOneKindTakesOnlySourcesWithIt) {
    struct Case {
        std::string source;
        std::string output;
        std::string refusal;  // "" when it is written
        std::string stream;   // the one stream written
    };
    for (const Case& c :
         {Case{"v:src.mkv", "out.mp3", "holds sound only, so source 'v:src.mkv'", ""},
          Case{"v:src.mkv", "out.m4a", "holds sound only, so source 'v:src.mkv'", ""},
          Case{"a:src.mkv", "out.gif", "holds pictures only, so source 'a:src.mkv'", ""},
          Case{"av:src.mkv", "out.mp3", "", "audio"}, Case{"src.mkv", "out.flac", "", "audio"},
          Case{"av:src.mkv", "out.gif", "", "video"}, Case{"src.mkv", "out.m4a", "", "audio"}}) {
        const ProcessResult run = RunFeedcat({c.source, "--quiet", "-o", c.output}, folder);
        const std::string what = c.source + " -o " + c.output;
        if (!c.refusal.empty()) {
            EXPECT_EQ(run.status, 2) << what;
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << what << ": " << run.err;
            EXPECT_FALSE(FileExists(folder.File(c.output))) << what;
            continue;
        }
        ASSERT_EQ(run.status, 0) << what << ": " << run.err;
        EXPECT_EQ(run.err, "") << what;
        const ProbedFile probed = Ffprobe(folder.File(c.output));
        ASSERT_EQ(probed.streams.size(), 1u) << what;
        EXPECT_EQ(probed.streams[0]["codec_type"], c.stream) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Part, FeedcatEveryFormat, ::testing::Range(0, kParts));

}  // namespace
}  // namespace feedcat_test
