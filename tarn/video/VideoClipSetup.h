// VideoClipSetup: what a video clip shows and how its pictures are fitted into the output
// frame; the clip reader and its frame converter both take it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/TimeUnits.h"
#include "tarn/video/ClipGeometry.h"

namespace tarn {

struct VideoClipSetup {
    std::string name;              // the file (or "lavfi:..." graph); empty: no media, black frames
    std::int64_t sourceStart = 0;  // 100-ns units in the file's own time, may be negative
    std::int64_t sourceStop = 0;
    // left, top, right, bottom in source pixels (of the decoded picture, before rotation),
    // applied before scaling; all -1 means none; clamped to the picture; empty means none.
    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1};
    ClipMode mode = ClipMode::Stretch;
    std::uint32_t barColour = 0;    // Fit only: bars in pixel layout (0x00RRGGBB for B G R X)
    std::int32_t outputWidth = 0;   // pixels, > 0
    std::int32_t outputHeight = 0;  // pixels, > 0
    // Set by another thread when the clip's timeline is stopping: decoding then gives up at
    // the next frame (what is rendered after that is never shown). Null: never.
    const std::atomic<bool>* stopping = nullptr;
    // On the way from the seek point to sourceStart, frames that nothing refers to are skipped
    // but in this last stretch before it (100-ns units), where the frame shown at sourceStart
    // lies. 0 when sourceStart is the time of the very frame to show.
    std::int64_t fullDecodeBeforeStart = kUnitsPerSecond / 2;
};

}  // namespace tarn
