// The engine's 100-ns unit as an FFmpeg time base, and the range in which the engine keeps
// every time it computes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/TimeUnits.h"

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

namespace tarn {

constexpr AVRational kUnitTimeBase = {1, static_cast<int>(kUnitsPerSecond)};

// Times, timestamps and sample positions are kept within this many units either side of 0
// (over 3,600 years in 100-ns units), so that adding or subtracting two of them never overflows,
// whatever a damaged file or a caller hands over.
constexpr std::int64_t kTimeLimit = std::int64_t{1} << 60;

inline std::int64_t ClampTime(std::int64_t value) {
    return std::clamp(value, -kTimeLimit, kTimeLimit);
}

// `timestamp` in `timeBase` as 100-ns units, rounded to the nearest, kept within the limit.
inline std::int64_t UnitsOf(std::int64_t timestamp, AVRational timeBase) {
    return ClampTime(av_rescale_q(timestamp, timeBase, kUnitTimeBase));
}

}  // namespace tarn
