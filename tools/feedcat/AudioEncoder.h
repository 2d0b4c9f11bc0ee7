// Converts interleaved s16 buffers to the encoder's sample format and rate (libswresample),
// cuts them into the encoder's frame size through an audio FIFO, and encodes them.
#pragma once

#include <cstdint>
#include <string>

#include "PacketSink.h"
#include "media/FFmpegHolders.h"

namespace feedcat {

class AudioEncoder {
  public:
    bool Open(const AVCodec* codec, std::int32_t sampleRate, std::int32_t channels,
              bool globalHeader, std::string* error);

    // Adds sampleFrames frames of interleaved s16 at rate and channels; encodes every full frame.
    bool Add(const std::uint8_t* samples, std::int32_t sampleFrames, std::int32_t rate,
             std::int32_t channels, const PacketSink& sink);

    // Encodes what is left (a short last frame, or padded with silence) and drains.
    bool Flush(const PacketSink& sink);

    // Sample frames handed to the encoder so far (the next frame's pts).

    // Starts the timeline at this many samples (the first buffer's position).
    void SetStart(std::int64_t samples) { nextPts_ = samples; }

    const AVCodecContext* context() const { return context_.get(); }

  private:
    bool SetUpResampler(std::int32_t rate, std::int32_t channels);
    bool EncodeFromFifo(int frames, const PacketSink& sink);
    bool Drain(const PacketSink& sink);

    media::CodecContextPtr context_;
    media::ResamplerPtr resampler_;
    media::AudioFifoPtr fifo_;
    media::FramePtr frame_;
    media::PacketPtr packet_;
    int frameSize_ = 1024;
    std::int32_t inputRate_ = 0;
    std::int32_t inputChannels_ = 0;
    std::int64_t nextPts_ = 0;
};

}  // namespace feedcat
