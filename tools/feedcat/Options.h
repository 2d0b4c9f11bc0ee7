// What one feedcat run is asked to do, as read from its command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace feedcat {

// Which timeline(s) a source goes onto.
enum class SourceKind { kVideo, kAudio, kBoth };

// One SOURCE argument: a file (or lavfi: graph) and optionally its in and out points in ms.
struct SourceArg {
    SourceKind kind = SourceKind::kBoth;
    std::string file;
    bool hasTimes = false;
    std::int32_t startMs = 0;
    std::int32_t stopMs = 0;
};

struct VideoFade {
    bool enabled = false;
    std::int32_t lengthMs = 0;
    std::uint32_t colour = 0x000000;  // 0x00RRGGBB
};

struct AudioFade {
    bool enabled = false;
    std::int32_t lengthMs = 0;
};

struct Options {
    std::vector<SourceArg> sources;
    std::string output;  // a path, "-" (standard output) or "null"

    std::int32_t width = 0;  // 0: the first video clip's own
    std::int32_t height = 0;
    double fps = 0.0;             // 0: the first video clip's own
    std::int32_t sampleRate = 0;  // 0: the first audio clip's own
    std::int32_t channels = 0;    // 0: the library's default (2)

    VideoFade videoFadeIn;
    VideoFade videoFadeOut;
    AudioFade audioFadeIn;
    AudioFade audioFadeOut;

    std::int32_t clipMode = 0;  // 0 stretch, 1 fit, 2 fill
    bool hasBars = false;
    std::uint32_t barsColour = 0x000000;  // 0x00RRGGBB
    bool sync = true;

    bool quiet = false;
    bool json = false;
    bool strict = false;
    bool demo = false;

    std::string format;      // muxer name; empty: from the output's extension
    std::string videoCodec;  // encoder name; empty: the container's usual one
    std::string audioCodec;
};

}  // namespace feedcat
