// BgrxPixels: operations on rows of 4-byte B G R X pixels (X = 0): clearing the fourth byte,
// writing 8-bit RGB pictures (packed in 3 or 4 bytes a pixel, in any byte order, or planar)
// as such pixels with libyuv's vector shuffles, turning a picture upright, and painting bars.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarn/video/ClipGeometry.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace tarn {

// Sets the fourth byte of `width` x `height` pixels to 0, rows `stride` bytes apart.
void ClearFourthBytes(std::uint8_t* row, int width, int height, std::ptrdiff_t stride);

// Whether WriteRgbAsBgrx takes pictures of `format`, and how many bytes a pixel of its first
// plane has (1 for planar RGB).
bool IsRgbForBgrx(AVPixelFormat format, int* pixelBytes);

// Writes `width` x `height` pixels of an RGB picture of `format` (IsRgbForBgrx) into rows
// `targetStride` bytes apart, nothing past the last pixel of a row. Planar RGB comes as
// FFmpeg's planes (G, B, R); `zeroRow` is at least `width` zero bytes.
bool WriteRgbAsBgrx(AVPixelFormat format, const std::uint8_t* const planes[3], const int strides[3],
                    int width, int height, std::uint8_t* target, int targetStride,
                    const std::uint8_t* zeroRow);

// Copies the `width` x `height` picture `from` (as scaled, not yet upright; rows `fromStride`
// bytes apart) into the rectangle at `to`, turned clockwise by `rotation` degrees (90, 180 or
// 270), with the fourth byte cleared.
void TurnUpright(const std::uint8_t* from, std::ptrdiff_t fromStride, int width, int height,
                 int rotation, std::uint8_t* to, std::ptrdiff_t toStride);

// Fills the `width` x `height` frame outside `picture` with the bar colour. Only its low three
// bytes are the colour (0x00RRGGBB): whatever the host put in the high byte, the fourth byte
// stays 0.
void PaintBars(std::uint8_t* frame, int width, int height, const PixelRect& picture,
               std::uint32_t colour);

}  // namespace tarn
