// AudioTimeline: the samples of an audio composite in 10 ms buffers timed by sample count,
// each filled from the clips that cover it (silence in gaps). One clip's reader is open at a
// time.
#pragma once

#include <memory>
#include <vector>

#include "tarn/AudioClipReader.h"
#include "tarn/TimelineGrid.h"
#include "tarn/TimelineProducer.h"

class AudioTimeline final : public TimelineProducer {
  public:
    // clips sorted by timeline start; rate > 0, channels 1 to 8.
    AudioTimeline(std::vector<ClipData> clips, std::int32_t rate, std::int32_t channels);

    bool Next(Delivery& out) override;
    const void* FormatRecord() const override { return &record_; }

  private:
    // Fills `count` sample frames from `position` on, within one clip or one gap.
    std::int64_t FillFrom(std::int64_t position, std::int64_t count, std::int16_t* out);

    std::vector<ClipData> clips_;
    std::vector<std::int64_t> sampleStart_;  // per clip: its first sample frame
    std::vector<std::int64_t> sampleEnd_;    // per clip: one past its last
    std::int32_t channels_;
    SampleGrid grid_;
    WAVEFORMATEX record_{};
    std::int64_t totalFrames_ = 0;
    std::int64_t next_ = 0;  // the next sample frame to deliver
    std::size_t cursor_ = 0;
    int openClip_ = -1;
    std::unique_ptr<AudioClipReader> reader_;
};
