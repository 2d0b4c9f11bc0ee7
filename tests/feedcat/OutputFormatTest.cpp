#include "output/OutputFormat.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace feedcat {
namespace {

Options WithOutput(const std::string& output, SourceKind kind = SourceKind::kBoth) {
    Options options;
    SourceArg source;
    source.kind = kind;
    source.file = "a.mp4";
    options.sources.push_back(source);
    options.output = output;
    return options;
}

TEST(OutputFormatChoice, ExtensionPicksContainerAndCodecs) {
    OutputPlan plan;
    std::string error;
    for (const char* name : {"out.mp4", "dir.x/OUT.MKV", "out.mov"}) {
        ASSERT_TRUE(ChooseOutput(WithOutput(name), &plan, &error)) << name << ": " << error;
        ASSERT_NE(plan.videoEncoder, nullptr);
        ASSERT_NE(plan.audioEncoder, nullptr);
        EXPECT_TRUE(plan.videoEncoder->id == AV_CODEC_ID_H264 ||
                    plan.videoEncoder->id == AV_CODEC_ID_MPEG4);
        EXPECT_EQ(plan.audioEncoder->id, AV_CODEC_ID_AAC);
    }
    ASSERT_TRUE(ChooseOutput(WithOutput("out.wav"), &plan, &error)) << error;
    EXPECT_EQ(plan.videoEncoder, nullptr);
    ASSERT_NE(plan.audioEncoder, nullptr);
    EXPECT_EQ(plan.audioEncoder->id, AV_CODEC_ID_PCM_S16LE);
    ASSERT_TRUE(ChooseOutput(WithOutput("out.y4m"), &plan, &error)) << error;
    EXPECT_NE(plan.videoEncoder, nullptr);
    EXPECT_EQ(plan.audioEncoder, nullptr);
    EXPECT_STREQ(plan.muxer->name, "yuv4mpegpipe");
}

TEST(OutputFormatChoice, NullCountsAndPipeNeedsFormat) {
    OutputPlan plan;
    std::string error;
    ASSERT_TRUE(ChooseOutput(WithOutput("null"), &plan, &error)) << error;
    EXPECT_TRUE(plan.discard);
    EXPECT_TRUE(plan.wantsVideo);
    EXPECT_TRUE(plan.wantsAudio);
    Options piped = WithOutput("-");
    piped.format = "nut";
    ASSERT_TRUE(ChooseOutput(piped, &plan, &error)) << error;
    EXPECT_FALSE(plan.discard);  // written to standard output (see OutputFile)
    EXPECT_STREQ(plan.muxer->name, "nut");
}

TEST(OutputFormatChoice, OnlyTheKindsThereAreSourcesFor) {
    OutputPlan plan;
    std::string error;
    ASSERT_TRUE(ChooseOutput(WithOutput("out.mp4", SourceKind::kVideo), &plan, &error));
    EXPECT_TRUE(plan.wantsVideo);
    EXPECT_FALSE(plan.wantsAudio);
    EXPECT_FALSE(ChooseOutput(WithOutput("out.wav", SourceKind::kVideo), &plan, &error));
    EXPECT_NE(error.find("no stream"), std::string::npos) << error;
}

TEST(OutputFormatChoice, Refusals) {
    OutputPlan plan;
    std::string error;
    EXPECT_FALSE(ChooseOutput(WithOutput("out.xyz"), &plan, &error));
    EXPECT_NE(error.find("unknown output extension"), std::string::npos) << error;
    EXPECT_FALSE(ChooseOutput(WithOutput("noextension"), &plan, &error));
    Options format = WithOutput("out.mp4");
    format.format = "no-such-muxer";
    EXPECT_FALSE(ChooseOutput(format, &plan, &error));
    EXPECT_NE(error.find("unknown output format"), std::string::npos) << error;
    Options codec = WithOutput("out.mp4");
    codec.videoCodec = "aac";
    EXPECT_FALSE(ChooseOutput(codec, &plan, &error));
    EXPECT_NE(error.find("unknown video encoder"), std::string::npos) << error;
}

TEST(OutputFormatChoice, WebmIsVp9AndOpus) {
    OutputPlan plan;
    std::string error;
    ASSERT_TRUE(ChooseOutput(WithOutput("clip.webm"), &plan, &error)) << error;
    EXPECT_STREQ(plan.muxer->name, "webm");
    ASSERT_NE(plan.videoEncoder, nullptr);
    ASSERT_NE(plan.audioEncoder, nullptr);
    EXPECT_EQ(plan.videoEncoder->id, AV_CODEC_ID_VP9);
    EXPECT_EQ(plan.audioEncoder->id, AV_CODEC_ID_OPUS);
    EXPECT_FALSE(plan.indexFirst);
}

TEST(OutputFormatChoice, Mp4AndMovFilesPutTheIndexFirst) {
    OutputPlan plan;
    std::string error;
    for (const char* name : {"out.mp4", "out.mov"}) {
        ASSERT_TRUE(ChooseOutput(WithOutput(name), &plan, &error)) << error;
        EXPECT_TRUE(plan.indexFirst) << name;
    }
    for (const char* name : {"out.mkv", "out.webm", "out.wav"}) {
        ASSERT_TRUE(ChooseOutput(WithOutput(name), &plan, &error)) << error;
        EXPECT_FALSE(plan.indexFirst) << name;
    }
    Options piped = WithOutput("-");
    piped.format = "mp4";
    ASSERT_TRUE(ChooseOutput(piped, &plan, &error)) << error;
    EXPECT_FALSE(plan.indexFirst) << "a pipe cannot be read back";
}

// Quality options go only to encoders that take them; the refusal names the encoder.
TEST(OutputFormatChoice, QualityOptionsTheEncoderDoesNotTake) {
    OutputPlan plan;
    std::string error;
    Options crf = WithOutput("out.mp4");
    crf.crf = 18;
    crf.preset = "slow";
    crf.audioBitrate = 192000;
    ASSERT_TRUE(ChooseOutput(crf, &plan, &error)) << error;

    struct Case {
        const char* output;
        const char* videoCodec;
        double crf;
        const char* preset;
        std::int64_t videoBitrate;
        std::int64_t audioBitrate;
        const char* mentions;
    };
    for (const Case& c : {Case{"out.mp4", "", 52, "", 0, 0, "0 to 51"},
                          Case{"out.mkv", "mpeg4", 20, "", 0, 0, "'mpeg4' has no constant quality"},
                          Case{"out.webm", "", -1, "fast", 0, 0, "'libvpx-vp9'"},
                          Case{"out.y4m", "", 20, "", 0, 0, "lossless"},
                          Case{"out.y4m", "", -1, "", 1000000, 0, "lossless"},
                          Case{"out.wav", "", -1, "", 0, 128000, "'pcm_s16le' is lossless"}}) {
        Options options = WithOutput(c.output);
        options.videoCodec = c.videoCodec;
        options.crf = c.crf;
        options.preset = c.preset;
        options.videoBitrate = c.videoBitrate;
        options.audioBitrate = c.audioBitrate;
        EXPECT_FALSE(ChooseOutput(options, &plan, &error)) << c.output;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.output << ": " << error;
    }
    Options webm = WithOutput("out.webm");
    webm.crf = 40;
    EXPECT_TRUE(ChooseOutput(webm, &plan, &error)) << error;
}

}  // namespace
}  // namespace feedcat
