// FrameConverter: turns a decoded picture into one output frame of a video clip: crop, fit to
// the clip mode (bars in the bar colour for Fit), scale (PictureScaler), turn upright, and
// write it as 4-byte B G R X pixels with X = 0. Keeps its scalers between frames while the
// picture's size and format stay the same. Used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>

#include "media/FFmpegHolders.h"
#include "tarn/FrameBytes.h"
#include "tarn/video/ClipGeometry.h"
#include "tarn/video/PictureScaler.h"
#include "tarn/video/VideoClipSetup.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

namespace tarn {

class FrameConverter {
  public:
    // Takes the crop, mode, bar colour and output size of `clip`.
    explicit FrameConverter(const VideoClipSetup& clip);

    // Writes `picture` into `frame` (outputWidth x outputHeight pixels, rows top-down, no
    // padding), and nothing past it. `sar` is the picture's sample aspect ratio, `rotation` the
    // clockwise degrees that turn it upright. False, with the frame left undefined, when the
    // picture cannot be converted. Where libswscale scales, a frame on a kFrameAlignment
    // boundary (FrameBytes) whose rows are a multiple of kFrameAlignment bytes long is scaled
    // into in place; any other goes through a copy.
    bool Convert(const AVFrame* picture, AVRational sar, int rotation, std::uint8_t* frame);

  private:
    // Converts whole pictures of formats that cannot be cropped by moving plane pointers
    // (palettes, bit-packed, packed 4:2:2 and the like) to BGR0 first.
    const AVFrame* Unpacked(const AVFrame* picture);
    // Scales `region` into the `target` rectangle of `frame`, turned upright by `rotation`.
    bool ScaleUpright(const PictureRegion& region, const PixelRect& target, int rotation,
                      std::uint8_t* frame);

    std::array<std::int32_t, 4> crop_;
    ClipMode mode_;
    std::uint32_t barColour_;
    int outputWidth_;
    int outputHeight_;

    PictureScaler scaler_;
    PictureScaler unpacker_;
    media::FramePtr unpacked_;
    // The fitted picture before it is turned upright (rotated clips only).
    FrameBytes unturned_;
};

}  // namespace tarn
