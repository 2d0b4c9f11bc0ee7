// One input source of a feed and the ordered list that holds them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "session/SourceKind.h"

namespace session {

struct SourceEntry {
    using Rect = std::array<std::int32_t, 4>;
    static constexpr Rect kNoCrop = {-1, -1, -1, -1};

    std::string name;  // the file name exactly as the host gave it; may be empty
    double startSeconds = 0.0;
    double stopSeconds = 0.0;  // never below startSeconds
    SourceKind kind = SourceKind::Video;
    // Handed unchanged to the engine with this source's clip. A session that finds no video
    // for a video entry resets it to kNoCrop here, in the list, for good.
    Rect cropRect = kNoCrop;
    std::int32_t clipParam = 0;  // handed unchanged to the engine with this source's clip
};

// Ascending by source id: the order in which the sources go onto their timelines.
using SourceList = std::map<std::int32_t, SourceEntry>;

}  // namespace session
