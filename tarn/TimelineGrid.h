// Where frames and samples sit on a timeline, in integer arithmetic from their index, so that
// nothing drifts over hours of media. Times are 100-ns units.
#pragma once

#include <cstdint>

#include "engine/TimeUnits.h"

namespace tarn {

// The constant-rate frame grid of a video timeline: frame k starts at
// k x 10,000,000 / fps, rounded to the nearest unit.
class FrameGrid {
  public:
    // fps as a fraction (num / den > 0), e.g. 30000 / 1001.
    FrameGrid(std::int64_t num, std::int64_t den) : num_(num), den_(den) {}
    // The nearest fraction to framesPerSecond (> 0).
    static FrameGrid FromRate(double framesPerSecond);

    std::int64_t FrameStart(std::int64_t index) const;
    // How many frames start before `length`.
    std::int64_t FrameCount(std::int64_t length) const;

  private:
    std::int64_t num_;
    std::int64_t den_;
};

// Sample frame positions of an audio timeline at `rate` Hz.
class SampleGrid {
  public:
    explicit SampleGrid(std::int32_t rate) : rate_(rate) {}

    // The sample frame nearest to time t: a timeline of length L holds SampleAt(L) frames.
    std::int64_t SampleAt(std::int64_t time) const;
    // The time of sample frame s, rounded to the nearest unit.
    std::int64_t TimeOf(std::int64_t sample) const;
    // Sample frames per buffer: 10 ms, at least one.
    std::int32_t BufferFrames() const { return rate_ >= 200 ? rate_ / 100 : 1; }

  private:
    std::int32_t rate_;
};

}  // namespace tarn
