// The engine's unit of time, 100 ns (int64), in which the engine takes clip times and hands
// out frame and buffer times; and the conversions to and from the other units the library and
// the engine use, each named with its rounding rule: milliseconds (int32) at the exported
// interface, seconds (double) in the source list, sample frames at an audio rate.
#pragma once

#include <cstdint>

constexpr std::int64_t kUnitsPerSecond = 10'000'000;
constexpr std::int64_t kUnitsPerMs = 10'000;

// ms x 10,000: exact.
constexpr std::int64_t MsToUnits(std::int64_t ms) {
    return ms * kUnitsPerMs;
}

// ms x 0.001 (the double nearest to it), so 4007 ms is 4.007 s as near as a double gets.
inline double MsToSeconds(std::int32_t ms) {
    return static_cast<double>(ms) * 0.001;
}

// s x 1000.0, truncated toward zero: a time may read back one ms nearer to zero than it was
// set (4.007 s x 1000.0 is 4006.9999999999995, so 4007 ms reads back as 4006).
inline std::int32_t SecondsToMsTruncated(double seconds) {
    const double ms = seconds * 1000.0;
    // Only values that came from int32 milliseconds are stored, but a product that rounded
    // past the range must not be converted (that would be undefined).
    if (ms >= 2147483647.0) {
        return INT32_MAX;
    }
    if (ms <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(ms);
}

// s x 10,000,000, truncated toward zero.
inline std::int64_t SecondsToUnitsTruncated(double seconds) {
    return static_cast<std::int64_t>(seconds * static_cast<double>(kUnitsPerSecond));
}

// units / 10,000, truncated toward zero. A time beyond the int32 range of milliseconds (more
// than 24 days) is clamped to it rather than wrapped into a wrong, possibly negative, value.
inline std::int32_t UnitsToMsTruncated(std::int64_t units) {
    const std::int64_t ms = units / kUnitsPerMs;
    return ms > INT32_MAX ? INT32_MAX : ms < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(ms);
}

// The sample frames that `ms` milliseconds hold at `rate` Hz: ms x rate / 1000 in 64 bits,
// truncated toward zero.
constexpr std::int64_t MsToSampleFramesTruncated(std::int64_t ms, std::int64_t rate) {
    return ms * rate / 1000;
}
