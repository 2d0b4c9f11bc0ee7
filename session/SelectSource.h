// SelectSource: the engine source that plays one kind of stream of a file, or an empty
// source standing in for it.
#pragma once

#include "engine/EngineRef.h"

namespace session {

// Opens fileName (null: no file) and keeps its stream of `kind`, releasing the other one. A
// file that does not open or lacks that stream gives a prepared empty source instead, and
// *usedEmpty says so. Null only when the engine could not even make an empty source.
EngineRef<IMediaSource> SelectSource(const char* fileName, StreamKind kind, bool* usedEmpty);

}  // namespace session
