// Where a clip's picture lands in the output frame: which part of the decoded picture is shown
// and the rectangle of the output it covers, for each clip mode. Geometry only, no pixels.
#pragma once

#include <array>
#include <cstdint>

namespace tarn {

// How a clip's picture is fitted into the output frame.
enum class ClipMode : std::int32_t { Stretch = 0, Fit = 1, Fill = 2 };

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct PixelSize {
    int width = 0;
    int height = 0;
};

struct PictureGeometry {
    int sourceWidth = 0;  // decoded picture, before rotation
    int sourceHeight = 0;
    int sarNum = 1;  // sample aspect ratio; 0 or negative means square pixels
    int sarDen = 1;
    int rotation = 0;  // clockwise degrees that turn the picture upright: 0, 90, 180, 270
    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1};  // left, top, right, bottom
    ClipMode mode = ClipMode::Stretch;
    int outputWidth = 0;
    int outputHeight = 0;
};

struct PicturePlacement {
    // Part of the decoded picture to show, in its own pixels (before rotation); never empty.
    PixelRect source;
    // Part of the output frame it fills, upright; the rest of the frame is bars (Fit only).
    PixelRect target;
};

// The crop rectangle (right and bottom exclusive) clamped to the picture; the whole picture
// when the crop is all -1 or empty after clamping.
PixelRect ClampedCrop(const std::array<std::int32_t, 4>& crop, int sourceWidth, int sourceHeight);

// Places the picture; sizes must be positive.
PicturePlacement FitPicture(const PictureGeometry& geometry);

// `shown` moved to start on the chroma grid of a picture whose chroma is subsampled by
// 2^log2ChromaWidth across and 2^log2ChromaHeight down (even columns and rows for 4:2:0), so
// that every plane's pointer can move to its start; its right and bottom edges stay.
PixelRect OnChromaGrid(const PixelRect& shown, int log2ChromaWidth, int log2ChromaHeight);

// The size the cropped picture is shown at, upright and in square pixels: the crop's width
// stretched by the sample aspect ratio and kept even (at least 2), as a probe reports a whole
// picture, then the sides swapped by a quarter turn. The output mode is not looked at.
PixelSize ShownSize(const PictureGeometry& geometry);

}  // namespace tarn
