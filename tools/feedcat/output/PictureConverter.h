// Turns a delivered B G R X frame into a picture in the encoder's pixel format (libyuv for
// 4:2:0 in BT.601, libswscale for the rest), at the output's size (the delivered size, rounded
// up to whole chroma samples: even sides for 4:2:0), converted with the output's colour matrix
// and tagged with its colour description. It runs in the library's
// frame callback, so the queue behind it holds pictures of the encoder's size (1.5 bytes a
// pixel for 4:2:0 rather than the delivered 4). One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/FFmpegHolders.h"
#include "output/OutputColour.h"
#include "pipeline/FramePool.h"

namespace feedcat {

class PictureConverter {
  public:
    PictureConverter(AVPixelFormat format, FramePool* pool) : format_(format), pool_(pool) {}

    // Bytes after a frame's last pixel that libswscale may read: its vector code reads rows in
    // whole blocks, past the end of a row whose length is no multiple of a block. The library's
    // frame promises none, so it is copied into a block with this much room first.
    static constexpr std::size_t kReadPadding = 64;

    // The converted picture of width x height pixels (rows top-down, no padding between them),
    // or null when out of memory or libswscale refuses the sizes.
    media::FramePtr Convert(const std::uint8_t* pixels, std::int32_t width, std::int32_t height);

    // CPU time spent in Convert so far. Read once the thread that converts is done.
    std::int64_t cpuNs() const { return cpuNs_; }

    // The same, from pixels already followed by kReadPadding readable bytes (no copy).
    media::FramePtr ConvertPadded(const std::uint8_t* pixels, std::int32_t width,
                                  std::int32_t height);

  private:
    // 4:2:0 in BT.601, limited range, from a frame of even sides, read as it is.
    media::FramePtr ConvertWithLibyuv(const std::uint8_t* pixels, std::int32_t width,
                                      std::int32_t height);

    const AVPixelFormat format_;
    FramePool* const pool_;
    media::ScalerPtr scaler_;
    std::int32_t scalerWidth_ = 0;
    std::int32_t scalerHeight_ = 0;
    OutputColour colour_;
    std::vector<std::uint8_t> padded_;
    std::int64_t cpuNs_ = 0;
};

// The size a delivered width x height is encoded at in format: each side rounded up to a
// whole number of its chroma samples (4:2:0 pictures need even sides, RGB ones nothing).
void EncodedSize(AVPixelFormat format, int width, int height, int* encodedWidth,
                 int* encodedHeight);

}  // namespace feedcat
