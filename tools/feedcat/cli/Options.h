// What one feedcat run is asked to do, as read from its command line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/Log.h"

namespace feedcat {

// Which timeline(s) a source goes onto.
enum class SourceKind { kVideo, kAudio, kBoth };

// One SOURCE argument: a file (or lavfi: graph) and optionally its in and out points in ms.
struct SourceArg {
    std::string given;  // the argument as written, for messages
    SourceKind kind = SourceKind::kBoth;
    bool kindGiven = true;  // false for a bare name: both streams where the file has them
    std::string file;
    bool hasTimes = false;
    bool openEnd = false;  // "@START-": stopMs is the file's end, filled in once it is known
    std::int32_t startMs = 0;
    std::int32_t stopMs = 0;
};

struct VideoFade {
    bool enabled = false;
    bool bare = false;  // the length was written as a bare number of milliseconds
    std::int32_t lengthMs = 0;
    std::uint32_t colour = 0x000000;  // 0x00RRGGBB
};

struct AudioFade {
    bool enabled = false;
    bool bare = false;
    std::int32_t lengthMs = 0;
};

// A frame rate as a fraction, so that 30000/1001 stays exact; 0/1 when not given.
struct FrameRate {
    int num = 0;
    int den = 1;
    double value() const { return den > 0 ? static_cast<double>(num) / den : 0.0; }
    bool given() const { return num > 0 && den > 0; }
};

struct Options {
    std::vector<SourceArg> sources;
    std::string output;  // a path, "-" (standard output) or "null"

    std::int32_t width = 0;  // 0: the first video clip's own
    std::int32_t height = 0;
    FrameRate fps;                // not given: the first video clip's own
    std::int32_t sampleRate = 0;  // 0: the first audio clip's own
    std::int32_t channels = 0;    // 0: the library's default (2)

    VideoFade videoFadeIn;
    VideoFade videoFadeOut;
    AudioFade audioFadeIn;
    AudioFade audioFadeOut;

    // 0 stretch, 1 fit, 2 fill; -1 when not given: fit (the library's own default is stretch,
    // which distorts every clip of another shape than the output).
    std::int32_t clipMode = -1;
    bool hasBars = false;
    std::uint32_t barsColour = 0x000000;  // 0x00RRGGBB
    bool hasCrop = false;
    std::array<std::int32_t, 4> crop{-1, -1, -1, -1};  // left, top, right, bottom
    bool sync = true;
    bool shortest = false;  // the output ends with the shorter timeline instead of padding it

    bool quiet = false;  // no progress bar, no summary
    bool json = false;
    bool strict = false;        // --strict given (the default behaviour anyway)
    bool allowMissing = false;  // a source that cannot be played plays as black or silence
    bool demo = false;
    bool play = false;  // a window and the audio device instead of an output file
    LogLevel logLevel = LogLevel::kInfo;
    bool overwrite = false;    // -y given (overwriting is the default anyway)
    bool noOverwrite = false;  // -n: an existing output is an error

    std::string format;      // muxer name; empty: from the output's extension
    std::string videoCodec;  // encoder name; empty: the container's usual one
    std::string audioCodec;
    double crf = -1.0;              // below 0: the encoder's default quality
    std::string preset;             // empty: the encoder's default speed (veryfast for libx264)
    std::int64_t videoBitrate = 0;  // bits per second; 0: quality-driven (crf)
    std::int64_t audioBitrate = 0;  // bits per second; 0: the encoder's default
};

}  // namespace feedcat
