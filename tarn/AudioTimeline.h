// AudioTimeline: the samples of an audio composite in 10 ms buffers timed by sample count,
// each filled from the clips that cover it (silence in gaps). The clip playing and the next one
// are open: the next is prepared on a thread of its own while the current one plays.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "tarn/ClipPreparer.h"
#include "tarn/TimelineGrid.h"
#include "tarn/TimelineProducer.h"
#include "tarn/audio/AudioClipReader.h"

namespace tarn {

class AudioTimeline final : public TimelineProducer {
  public:
    // clips sorted by timeline start; rate > 0, channels 1 to 8.
    AudioTimeline(std::vector<ClipData> clips, std::int32_t rate, std::int32_t channels);

    bool Next(Chunk& out) override;
    void Interrupt() override { stopping_.store(true, std::memory_order_relaxed); }
    const void* FormatRecord() const override { return &record_; }

  private:
    // Fills `count` sample frames from `position` on, within one clip or one gap.
    std::int64_t FillFrom(std::int64_t position, std::int64_t count, std::int16_t* out);
    // A reader for `clip` entered at sample frame `position`.
    std::unique_ptr<AudioClipReader> MakeReader(std::size_t clip, std::int64_t position) const;
    // Makes `clip` the open one, entered at `position` (prepared ahead when that is its first
    // sample).
    void OpenClip(std::size_t clip, std::int64_t position);

    std::vector<ClipData> clips_;
    std::vector<std::int64_t> sampleStart_;  // per clip: its first sample frame
    std::vector<std::int64_t> sampleEnd_;    // per clip: one past its last
    std::int32_t channels_;
    SampleGrid grid_;
    WAVEFORMATEX record_{};
    std::int64_t totalFrames_ = 0;
    std::int64_t next_ = 0;  // the next sample frame to deliver
    std::size_t cursor_ = 0;
    // Set by Interrupt from another thread; read by the readers' decoding loops.
    std::atomic<bool> stopping_{false};
    int openClip_ = -1;
    std::unique_ptr<AudioClipReader> reader_;
    ClipPreparer<AudioClipReader> preparer_;  // after stopping_, which it reads until joined
};

}  // namespace tarn
