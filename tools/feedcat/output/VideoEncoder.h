// Encodes pictures already in the encoder's pixel format (see PictureConverter).
#pragma once

#include <cstdint>
#include <string>

#include "media/FFmpegHolders.h"
#include "output/EncoderDrain.h"
#include "output/EncoderQuality.h"
#include "output/OutputColour.h"

namespace feedcat {

// The pixel format feedcat encodes in with codec: yuv420p when it takes it (what players
// expect), else its first.
AVPixelFormat EncoderPixelFormat(const AVCodec* codec);

class VideoEncoder {
  public:
    // width and height are the pictures' (even for 4:2:0); frameRate the output's rate;
    // colour what the pictures were converted with, written into the stream.
    bool Open(const AVCodec* codec, std::int32_t width, std::int32_t height, AVRational frameRate,
              const OutputColour& colour, const QualitySettings& quality, bool globalHeader,
              std::string* error);

    bool opened() const { return opened_; }

    // Encodes picture (of the size and format opened with) as frame number index.
    bool Encode(AVFrame* picture, std::int64_t index, const PacketSink& sink);

    // Drains the encoder.
    bool Flush(const PacketSink& sink);

    // Why the last Encode or Flush failed in the encoder itself ("" when the sink failed).
    const std::string& failure() const { return failure_; }

    const AVCodecContext* context() const { return context_.get(); }

  private:
    bool Drain(const PacketSink& sink);
    bool Failed(const char* step, int code);

    media::CodecContextPtr context_;
    media::PacketPtr packet_;
    bool opened_ = false;
    std::string failure_;
};

}  // namespace feedcat
