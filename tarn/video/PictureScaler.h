// PictureScaler: scales the shown part of a decoded picture to a given size and writes it as
// 4-byte B G R X pixels with X = 0 into rows of the caller's, and nothing outside them. Planar
// YUV pictures (4:2:0, 4:2:2, 4:4:4, 8 or 10 bits) kept at their size or shrunk by whole
// factors are averaged here (PlaneAverager) and converted with libyuv (YuvToBgrx): the same
// filter as libswscale's for whole factors, without its cost per source row (bench/README.md).
// Every other picture goes through libswscale. Keeps its scalers and buffers between frames while
// the picture's size and format stay the same. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/FFmpegHolders.h"
#include "tarn/video/PlaneAverager.h"
#include "tarn/video/YuvToBgrx.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace tarn {

// The part of a picture to scale: each plane's pointer at its top-left sample.
struct PictureRegion {
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};  // bytes
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;  // never a full-range "J" format: see fullRange
    int colourMatrix = 0;                    // SWS_CS_*; not used for RGB pictures
    bool fullRange = false;                  // YUV with 0..255 luma and chroma
};

// Sets the format and colours of `region` from `picture`'s (its pixels stay as they are): the
// deprecated full-range "J" formats as their plain twins with fullRange set, and the YUV
// matrix. False when libswscale cannot take the format.
bool DescribeColours(const AVFrame* picture, PictureRegion* region);

class PictureScaler {
  public:
    // Writes the region scaled to `width` x `height` into the rows at `target`, `targetStride`
    // bytes apart. False, with the rows left undefined, when it cannot be scaled.
    bool Scale(const PictureRegion& region, int width, int height, std::uint8_t* target,
               std::ptrdiff_t targetStride);

  private:
    // A libswscale scaler with the colour settings it was made for.
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

    // How a region is averaged down: what its planes hold and the whole factors.
    struct Averaging {
        bool rgb = false;
        ChromaLayout layout = ChromaLayout::Yuv420;  // YUV
        bool tenBit = false;                         // YUV
        int pixelBytes = 1;                          // RGB: bytes a pixel of the first plane
        int columnFactor = 1;
        int rowFactor = 1;
    };

    // Whether the region can be averaged down to `width` x `height`; fills `averaging` if so.
    bool CanAverage(const PictureRegion& region, int width, int height, Averaging* averaging);
    bool ScaleByAveraging(const PictureRegion& region, const Averaging& averaging, int width,
                          int height, std::uint8_t* target, std::ptrdiff_t targetStride);
    bool ScaleWithSws(const PictureRegion& region, int width, int height, std::uint8_t* target,
                      std::ptrdiff_t targetStride);

    // Makes `scaler` fit the given sizes, format and colours; reuses it when nothing changed.
    static bool Prepare(Scaler* scaler, int sourceWidth, int sourceHeight,
                        AVPixelFormat sourceFormat, int targetWidth, int targetHeight,
                        int colourMatrix, bool fullRange);

    // Grows the region into firstStep_, `width` x `height` B G R X, where libswscale refuses
    // to scale it to its target in one step; null when that fails.
    const AVFrame* FirstStep(const PictureRegion& region, int width, int height);

    Scaler scaler_;
    Scaler stepScaler_;
    media::FramePtr firstStep_;
    // The scaled picture where libswscale cannot write straight into the caller's rows (see
    // WritableInPlace in the source).
    media::FramePtr padded_;

    PlaneAverager averager_;
    YuvToBgrx converter_;
    // A band of averaged output rows (three planes, or one of packed pixels) before conversion.
    std::vector<std::uint16_t> band_;
    // Zero samples read again for every row where a conversion takes a fourth plane.
    std::vector<std::uint8_t> zeroRow_;
};

}  // namespace tarn
