#include "OutputFormat.h"

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

}  // namespace
}  // namespace feedcat
