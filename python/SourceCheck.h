// Whether a source will play as asked. The library plays a file it cannot open, or one that
// lacks the stream its source asks for, as black or silence and reports nothing, so the module
// looks at each source itself before adding it.
//
// This is the module's only FFmpeg code, kept apart in this header and SourceCheck.cpp so that
// it can move onto the shared FFmpeg helpers of media/ (opening a name under the engine's
// rules, stream choice, lengths) once that library is in the tree; nothing else in the module
// includes FFmpeg.
#pragma once

#include <cstdint>
#include <string>

namespace feedpy {

enum class SourceStatus {
    Plays,       // opens and holds the stream asked for (or a lavfi: graph, taken as it is)
    CannotOpen,  // not a local regular file, or no demuxer the engine uses accepts it
    NoStream,    // opens, but holds no decodable stream of the kind asked for
};

struct SourceCheck {
    SourceStatus status = SourceStatus::CannotOpen;
    std::int32_t lengthMs = -1;  // length of the stream asked for, -1 when unknown
};

// Opens `name` as the engine would (a local regular file through FFmpeg's file protocol and
// the file-reading demuxers alone) and looks for the stream the engine would play: video when
// `video`, else audio. A name starting with "lavfi:" is not opened: Plays, length unknown.
// Blocks for as long as opening and probing the file take; call it without the GIL.
SourceCheck CheckSource(const std::string& name, bool video);

}  // namespace feedpy
