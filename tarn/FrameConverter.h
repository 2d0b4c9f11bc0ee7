// FrameConverter: turns a decoded picture into one output frame of a video clip: crop, fit to
// the clip mode (bars in the bar colour for Fit), scale, turn upright, and write it as 4-byte
// B G R X pixels with X = 0. Keeps its scaler between frames while the picture's size and
// format stay the same. Used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>

#include "media/FFmpegHolders.h"
#include "tarn/FrameBytes.h"
#include "tarn/VideoClipReader.h"

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
    // picture cannot be converted. A frame on a kFrameAlignment boundary (FrameBytes) whose
    // rows are a multiple of kFrameAlignment bytes long is scaled into in place; any other goes
    // through a copy.
    bool Convert(const AVFrame* picture, AVRational sar, int rotation, std::uint8_t* frame);

  private:
    // A scaler with the colour settings it was made for.
    struct Scaler {
        media::ScalerPtr context;
        int sourceWidth = 0;
        int sourceHeight = 0;
        AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
        int targetWidth = 0;
        int targetHeight = 0;
        int colourMatrix = -1;
        bool fullRange = false;
    };

    // Makes `scaler` fit the given sizes, format and colours; reuses it when nothing changed.
    static bool Prepare(Scaler* scaler, int sourceWidth, int sourceHeight,
                        AVPixelFormat sourceFormat, int targetWidth, int targetHeight,
                        int colourMatrix, bool fullRange);

    // Converts whole pictures of formats that cannot be cropped by moving plane pointers
    // (palettes, bit-packed, packed 4:2:2 and the like) to BGR0 first.
    const AVFrame* Unpacked(const AVFrame* picture);

    // Scales the shown part of the picture (`planes`, `strides`, `sourceHeight` rows) with
    // scaler_ into scaled_, `width` x `height`; null when that fails.
    const AVFrame* Scaled(const std::uint8_t* const planes[4], const int strides[4],
                          int sourceHeight, int width, int height);

    // Grows the shown part of the picture into firstStep_, `width` x `height` B G R X, where
    // libswscale refuses to scale it to its target in one step; null when that fails.
    const AVFrame* FirstStep(const std::uint8_t* const planes[4], const int strides[4],
                             int sourceWidth, int sourceHeight, AVPixelFormat format,
                             int colourMatrix, bool fullRange, int width, int height);

    std::array<std::int32_t, 4> crop_;
    ClipMode mode_;
    std::uint32_t barColour_;
    int outputWidth_;
    int outputHeight_;

    Scaler scaler_;
    Scaler unpacker_;
    media::FramePtr unpacked_;
    // The fitted picture where it cannot be scaled straight into the output frame (see
    // WritableInPlace) or is still to be turned upright.
    media::FramePtr scaled_;
    Scaler stepScaler_;
    media::FramePtr firstStep_;
};

}  // namespace tarn
