// The three clocks the audio reader counts on, as types that do not mix without a named
// conversion: Units (100-ns units of the file's own time), SourceSamples (the source's sample
// frames at its own rate) and OutputFrames (sample frames at the output rate). Positions on
// the sample clocks count from source time 0; lengths are counted in the same types.
#pragma once

#include <cstdint>

#include "engine/TimeUnits.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace tarn {

// A count on one clock; `Clock` only keeps the clocks apart.
template <typename Clock>
struct Count {
    constexpr Count() = default;
    explicit constexpr Count(std::int64_t count) : value(count) {}

    constexpr Count operator+(Count other) const { return Count(value + other.value); }
    constexpr Count operator-(Count other) const { return Count(value - other.value); }
    Count& operator+=(Count other) {
        value += other.value;
        return *this;
    }
    Count& operator-=(Count other) {
        value -= other.value;
        return *this;
    }
    constexpr bool operator==(Count other) const { return value == other.value; }
    constexpr bool operator!=(Count other) const { return value != other.value; }
    constexpr bool operator<(Count other) const { return value < other.value; }
    constexpr bool operator>(Count other) const { return value > other.value; }
    constexpr bool operator<=(Count other) const { return value <= other.value; }
    constexpr bool operator>=(Count other) const { return value >= other.value; }

    std::int64_t value = 0;
};

using Units = Count<struct UnitsTag>;
using SourceSamples = Count<struct SourceSampleTag>;
using OutputFrames = Count<struct OutputFrameTag>;

// `time` as sample frames at `rate` Hz, rounded to the nearest (halves away from zero).
inline SourceSamples SourceSamplesNearest(Units time, int rate) {
    return SourceSamples(av_rescale(time.value, rate, kUnitsPerSecond));
}
inline OutputFrames OutputFramesNearest(Units time, int outputRate) {
    return OutputFrames(av_rescale(time.value, outputRate, kUnitsPerSecond));
}

// Between the two sample clocks, rounded to the nearest (exact where the position lies on
// both grids).
inline OutputFrames OutputFramesNearest(SourceSamples position, int rate, int outputRate) {
    return OutputFrames(av_rescale(position.value, outputRate, rate));
}
inline SourceSamples SourceSamplesNearest(OutputFrames position, int outputRate, int rate) {
    return SourceSamples(av_rescale(position.value, rate, outputRate));
}

// a / b rounded towards minus infinity (b > 0): where a position falls on a grid of b.
constexpr std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
    return (a % b != 0 && a < 0) ? a / b - 1 : a / b;
}

// The largest source formats the reader resamples: above every real recording format, far
// below what would make the resampler's set-up take minutes.
constexpr int kMaxSourceSampleRate = 768000;
constexpr int kMaxSourceChannels = 64;

}  // namespace tarn
