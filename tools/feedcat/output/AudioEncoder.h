// Converts interleaved s16 buffers to the encoder's sample format and rate (libswresample),
// cuts them into the encoder's frame size through an audio FIFO, and encodes them.
#pragma once

#include <cstdint>
#include <string>

#include "media/FFmpegHolders.h"
#include "output/EncoderDrain.h"
#include "output/EncoderQuality.h"

namespace feedcat {

class AudioEncoder {
  public:
    // sampleRate and channels are what the library delivers; the encoder runs at that rate and
    // channel count, or at the nearest it takes (Opus: 48000 Hz; G.722: mono) with the samples
    // resampled and mixed down.
    bool Open(const AVCodec* codec, std::int32_t sampleRate, std::int32_t channels,
              const QualitySettings& quality, bool globalHeader, std::string* error);

    bool opened() const { return static_cast<bool>(context_); }

    // Adds sampleFrames frames of interleaved s16 at rate and channels; encodes every full frame.
    bool Add(const std::uint8_t* samples, std::int32_t sampleFrames, std::int32_t rate,
             std::int32_t channels, const PacketSink& sink);

    // Encodes what is left (a short last frame, or padded with silence) and drains.
    bool Flush(const PacketSink& sink);

    // Starts the output's timeline at the first buffer's position.
    void SetStartMs(std::int32_t positionMs);

    // Why the last Add or Flush failed in the encoder itself ("" when the sink failed).
    const std::string& failure() const { return failure_; }

    const AVCodecContext* context() const { return context_.get(); }

  private:
    bool Failed(const char* step, int code);
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
    std::string failure_;
};

}  // namespace feedcat
