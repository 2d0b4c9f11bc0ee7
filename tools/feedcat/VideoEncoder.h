// Converts B G R X frames to the encoder's pixel format (libswscale) and encodes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "PacketSink.h"
#include "media/FFmpegHolders.h"

namespace feedcat {

class VideoEncoder {
  public:
    // width and height are the output's (rounded up to even); frameRate the output's rate.
    bool Open(const AVCodec* codec, std::int32_t width, std::int32_t height, AVRational frameRate,
              bool globalHeader, std::string* error);

    // Bytes after a frame's last pixel that libswscale may read: its vector code reads rows in
    // whole blocks, past the end of a row whose length is no multiple of a block.
    static constexpr std::size_t kReadPadding = 64;

    // Encodes one frame of frameWidth x frameHeight B G R X pixels (rows top-down, no padding
    // between them, followed by kReadPadding bytes of any value) as frame number index.
    bool Encode(const std::uint8_t* pixels, std::int32_t frameWidth, std::int32_t frameHeight,
                std::int64_t index, const PacketSink& sink);

    // Drains the encoder.
    bool Flush(const PacketSink& sink);

    const AVCodecContext* context() const { return context_.get(); }

  private:
    bool Drain(const PacketSink& sink);

    media::CodecContextPtr context_;
    media::FramePtr frame_;
    media::PacketPtr packet_;
    media::ScalerPtr scaler_;
    std::int32_t scalerWidth_ = 0;
    std::int32_t scalerHeight_ = 0;
};

}  // namespace feedcat
