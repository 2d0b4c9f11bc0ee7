// SelectSource: the engine source that plays one kind of stream of a file, or an empty
// source standing in for it.
#pragma once

#include <cstdint>

#include "engine/EngineRef.h"

namespace session {

// What opening a file for one source found out, for the session's outcome.
struct SourceFinding {
    HRESULT openStatus = 0;  // SelectSources' status (negative: not opened); 0 for no file
    bool hasStream = false;  // the file holds the stream of the kind asked for
    std::int32_t streamLengthMs = -1;  // that stream's length as the engine gave it; -1 unknown
};

// Opens fileName (null: no file) and keeps its stream of `kind`, releasing the other one. A
// file that does not open or lacks that stream gives a prepared empty source instead, and
// *usedEmpty says so. Null only when the engine could not even make an empty source. When
// `finding` is given, it receives what the engine said of the file.
EngineRef<IMediaSource> SelectSource(const char* fileName, StreamKind kind, bool* usedEmpty,
                                     SourceFinding* finding = nullptr);

}  // namespace session
