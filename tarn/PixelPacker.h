// PixelPacker: rewrites a frame of 4-byte B G R X pixels (what the clip reader draws) in one of
// the reader's pixel formats, pixels interleaved or one plane per channel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/MediaReader.h"

namespace tarn {

// Bytes per pixel of a format; 0 for a value that names none.
int BytesPerPixel(MediaPixelFormat format);

// Writes the width x height B G R X pixels of `bgrx` into `out` in `format`: interleaved (rows
// of pixels) or planar (one plane of rows per channel, in the format's channel order). Alpha,
// where the format has it, is 255; gray is luma with BT.601 weights. `out` holds width x
// height x BytesPerPixel(format) bytes and does not overlap `bgrx`.
void PackPixels(const std::uint8_t* bgrx, int width, int height, MediaPixelFormat format,
                bool planar, std::uint8_t* out);

}  // namespace tarn
