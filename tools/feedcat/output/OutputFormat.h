// Picks the container and the encoders for an output name and the --format/--*-codec options.
#pragma once

#include <string>

#include "cli/Options.h"

struct AVCodec;
struct AVOutputFormat;

namespace feedcat {

struct OutputPlan {
    bool discard = false;  // "null": encode nothing, only count
    const AVOutputFormat* muxer = nullptr;
    const AVCodec* videoEncoder = nullptr;  // null: the output holds no video
    const AVCodec* audioEncoder = nullptr;  // null: the output holds no audio
    bool wantsVideo = false;  // counted (null) or encoded: there is a video source and a place
    bool wantsAudio = false;
    bool indexFirst = false;  // MP4/MOV written to a file: the index goes to the front
};

// Fills plan, or returns false with a one-line reason in error (also when the encoders do not
// take the quality options given).
bool ChooseOutput(const Options& options, OutputPlan* plan, std::string* error);

}  // namespace feedcat
