// Whether a source will play as asked. The library plays a file it cannot open, or one that
// lacks the stream its source asks for, as black or silence and reports nothing, so the module
// looks at each source itself before adding it, through media/, which opens names and picks
// streams under the same rules as the engine.
#pragma once

#include <cstdint>
#include <string>

namespace feedpy {

enum class SourceStatus {
    Plays,       // opens and holds the stream asked for
    CannotOpen,  // not a local regular file or allowed lavfi: graph, or nothing plays in it
    NoStream,    // opens, but holds no decodable stream of the kind asked for
};

struct SourceCheck {
    SourceStatus status = SourceStatus::CannotOpen;
    std::int32_t lengthMs = -1;  // length of the stream asked for, -1 when unknown
};

// Opens `name` as the engine would and looks for the stream the engine would play: video when
// `video`, else audio. Blocks for as long as opening and probing take; call it without the GIL.
SourceCheck CheckSource(const std::string& name, bool video);

}  // namespace feedpy
