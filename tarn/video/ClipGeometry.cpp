#include "tarn/video/ClipGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace tarn {

namespace {
int RoundedWithin(double value, int low, int high) {
    return static_cast<int>(std::clamp<long>(std::lround(value), low, high));
}
}  // namespace

PixelRect ClampedCrop(const std::array<std::int32_t, 4>& crop, int sourceWidth, int sourceHeight) {
    const int left = std::clamp<int>(crop[0], 0, sourceWidth);
    const int top = std::clamp<int>(crop[1], 0, sourceHeight);
    const int right = std::clamp<int>(crop[2], 0, sourceWidth);
    const int bottom = std::clamp<int>(crop[3], 0, sourceHeight);
    if (right <= left || bottom <= top) {
        return PixelRect{0, 0, sourceWidth, sourceHeight};
    }
    return PixelRect{left, top, right - left, bottom - top};
}

PicturePlacement FitPicture(const PictureGeometry& geometry) {
    const PixelRect crop = ClampedCrop(geometry.crop, geometry.sourceWidth, geometry.sourceHeight);
    const int outputWidth = geometry.outputWidth;
    const int outputHeight = geometry.outputHeight;
    const PixelRect wholeOutput{0, 0, outputWidth, outputHeight};

    const double sar = (geometry.sarNum > 0 && geometry.sarDen > 0)
                           ? static_cast<double>(geometry.sarNum) / geometry.sarDen
                           : 1.0;
    const bool quarterTurn = geometry.rotation == 90 || geometry.rotation == 270;
    // The cropped picture's size as shown: square pixels, upright.
    double shownWidth = crop.width * sar;
    double shownHeight = crop.height;
    if (quarterTurn) {
        std::swap(shownWidth, shownHeight);
    }

    switch (geometry.mode) {
        case ClipMode::Fit: {
            const double scale = std::min(outputWidth / shownWidth, outputHeight / shownHeight);
            const int width = RoundedWithin(shownWidth * scale, 1, outputWidth);
            const int height = RoundedWithin(shownHeight * scale, 1, outputHeight);
            return PicturePlacement{crop, PixelRect{(outputWidth - width) / 2,
                                                    (outputHeight - height) / 2, width, height}};
        }
        case ClipMode::Fill: {
            // Scale until the output is covered, then cut what overflows equally on both sides.
            const double scale = std::max(outputWidth / shownWidth, outputHeight / shownHeight);
            const double visibleShownWidth = outputWidth / scale;
            const double visibleShownHeight = outputHeight / scale;
            // Back in decoded pixels: a quarter turn swaps the axes, and the sample aspect
            // ratio applies to the decoded picture's width.
            const double visibleWidth =
                (quarterTurn ? visibleShownHeight : visibleShownWidth) / sar;
            const double visibleHeight = quarterTurn ? visibleShownWidth : visibleShownHeight;
            const int width = RoundedWithin(visibleWidth, 1, crop.width);
            const int height = RoundedWithin(visibleHeight, 1, crop.height);
            return PicturePlacement{PixelRect{crop.x + (crop.width - width) / 2,
                                              crop.y + (crop.height - height) / 2, width, height},
                                    wholeOutput};
        }
        case ClipMode::Stretch:
        default:
            return PicturePlacement{crop, wholeOutput};
    }
}

PixelRect OnChromaGrid(const PixelRect& shown, int log2ChromaWidth, int log2ChromaHeight) {
    const int left = shown.x & ~((1 << log2ChromaWidth) - 1);
    const int top = shown.y & ~((1 << log2ChromaHeight) - 1);
    return PixelRect{left, top, shown.width + shown.x - left, shown.height + shown.y - top};
}

PixelSize ShownSize(const PictureGeometry& geometry) {
    const PixelRect crop = ClampedCrop(geometry.crop, geometry.sourceWidth, geometry.sourceHeight);
    double width = crop.width;
    if (geometry.sarNum > 0 && geometry.sarDen > 0) {
        width = width * geometry.sarNum / geometry.sarDen;
    }
    int shownWidth = 2 * RoundedWithin(width / 2.0, 1, INT32_MAX / 2);
    int shownHeight = std::max(crop.height, 1);
    if (geometry.rotation == 90 || geometry.rotation == 270) {
        std::swap(shownWidth, shownHeight);
    }
    return PixelSize{shownWidth, shownHeight};
}

}  // namespace tarn
