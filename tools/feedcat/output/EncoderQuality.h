// The quality and speed options (--crf, --preset, --video-bitrate, --audio-bitrate) and each
// encoder's defaults: which encoders take which option, and what is set when none is given.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Options.h"

struct AVCodec;
struct AVCodecContext;
struct AVDictionary;

namespace feedcat {

struct QualitySettings {
    double crf = -1.0;  // below 0: the encoder's default
    std::string preset;
    std::int64_t videoBitrate = 0;  // 0: quality-driven
    std::int64_t audioBitrate = 0;  // 0: the encoder's default
};

QualitySettings QualityFrom(const Options& options);

// "" when the encoders take the options given, else a one-line reason. A null encoder (no such
// stream in the output) takes anything.
std::string CheckQuality(const QualitySettings& quality, const AVCodec* video,
                         const AVCodec* audio);

// Sets the video options on an encoder context before it is opened; private options go into
// options for avcodec_open2.
void ApplyVideoQuality(const QualitySettings& quality, AVCodecContext* encoder,
                       AVDictionary** options);

// Sets the audio bit rate on an encoder context before it is opened.
void ApplyAudioQuality(const QualitySettings& quality, AVCodecContext* encoder);

}  // namespace feedcat
