// AlignedResampler: turns decoded audio frames into the output format (signed 16-bit at the
// output rate and channel count) with libswresample, each output sample frame at its place on
// the output's grid of positions, wherever decoding started; and trims the samples decoders
// ask to drop. One resampler lasts while the source's format and clock go on; a gap or a new
// format flushes it and the next frame starts another.
#pragma once

#include <cstdint>
#include <vector>

#include "media/FFmpegHolders.h"
#include "tarn/audio/AudioCoordinates.h"
#include "tarn/audio/SampleQueue.h"

struct AVFrame;

namespace tarn {

// The samples of a decoded frame to keep: from its `dropStart`-th on, `kept` of them.
struct KeptSamples {
    SourceSamples dropStart;
    SourceSamples kept;
};

class AlignedResampler {
  public:
    AlignedResampler(int outputRate, int outputChannels)
        : outputRate_(outputRate), outputChannels_(outputChannels) {}

    // What the decoder asks to keep of `frame` (it reports the samples to drop instead of
    // trimming, see StreamDecoder::Open): a codec delay at the start may run on into the next
    // frames, padding at the end is cut. kept is 0 or less when nothing is left.
    KeptSamples Trim(const AVFrame* frame);

    // Whether a resampler is running, and whether it was made for `frame`'s format.
    bool running() const { return static_cast<bool>(context_); }
    bool Matches(const AVFrame* frame) const;

    // Makes a resampler for `frame`'s format; false when it cannot be made (a damaged header's
    // absurd rate or channel count among them: such audio plays as silence).
    bool Start(const AVFrame* frame);
    // Places the new resampler's first output for the source sample `first` (at `rate`).
    void Align(SourceSamples first, int rate);
    // Lets the new resampler go on where the last one stopped (a new format on the same clock).
    void Continue(int rate);

    // Source sample the next input belongs at.
    SourceSamples nextInput() const { return input_; }

    // Resamples `count` sample frames of `frame` from its `offset`-th on into `queue`.
    void Feed(const AVFrame* frame, SourceSamples offset, SourceSamples count, SampleQueue* queue);
    // Hands out what the resampler still holds into `queue` and ends it.
    void Flush(SampleQueue* queue);

  private:
    // Hands `made` converted sample frames to the queue at their position.
    void Deliver(int made, SampleQueue* queue);

    const int outputRate_;
    const int outputChannels_;

    // The decoder's output as the resampler was set up for it.
    struct SourceFormat {
        int sampleFormat = -1;
        int sampleRate = 0;
        media::ChannelLayout layout;
    };

    media::ResamplerPtr context_;
    SourceFormat source_;
    OutputFrames start_;         // position of the resampler's first output
    OutputFrames output_;        // sample frames it has produced since then
    SourceSamples input_;        // source sample the resampler's next input belongs at
    SourceSamples pendingSkip_;  // samples still to drop from the start of the next frames
    std::vector<std::int16_t> converted_;
    std::vector<const std::uint8_t*> inputPlanes_;
};

}  // namespace tarn
