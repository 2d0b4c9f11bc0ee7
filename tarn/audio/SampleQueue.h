// SampleQueue: the audio reader's converted samples (interleaved signed 16-bit, at the output
// rate and channel count) between the resampler and Read, placed by their output position.
// Silence is never stored: a stretch nothing was decoded for is handed out as it is read, so a
// clip that starts an hour before its audio costs no memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tarn/audio/AudioCoordinates.h"

namespace tarn {

class SampleQueue {
  public:
    explicit SampleQueue(int channels) : channels_(channels) {}

    // The first sample frame Read hands out lies at `position`; nothing is queued yet.
    void StartAt(OutputFrames position) { readPosition_ = position; }

    // Position of the next sample frame handed out.
    OutputFrames readPosition() const { return readPosition_; }
    // Sample frames queued from readPosition on.
    OutputFrames Waiting() const {
        return OutputFrames(static_cast<std::int64_t>(queue_.size() - head_) / channels_);
    }
    // True when decoded audio waits after a stretch of silence: nothing more goes into the
    // queue until Read has reached it.
    bool hasLater() const { return hasLater_; }

    // Adds `frames` sample frames that belong at `position`. What lies before the end of what
    // is queued (already handed out, already queued, or before the clip's start) is dropped.
    void Append(OutputFrames position, const std::int16_t* samples, OutputFrames frames);

    // Hands out up to `frames` queued sample frames into `out`; how many.
    OutputFrames Take(std::int16_t* out, OutputFrames frames);
    // With the queue empty: hands out silence up to the audio waiting after it, or `frames` of
    // it when none waits; how many.
    OutputFrames TakeSilence(std::int16_t* out, OutputFrames frames);

    // Drops what has been handed out once it is the larger part of the queue.
    void Compact();

  private:
    const int channels_;
    OutputFrames readPosition_;

    // Sample frames from readPosition_ on, interleaved; consumed from head_.
    std::vector<std::int16_t> queue_;
    std::size_t head_ = 0;

    // Decoded audio that starts after the queue ends (the file's audio starts after the clip
    // does, or has a gap).
    std::vector<std::int16_t> later_;
    OutputFrames laterPosition_;
    bool hasLater_ = false;
};

}  // namespace tarn
