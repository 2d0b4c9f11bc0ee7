// A picture with buffers of its own, as converters, encoders and tests fill it.
#pragma once

#include "media/FFmpegHolders.h"

namespace media {

// A `width` x `height` picture of `format`, its rows aligned to `alignment` bytes (0: FFmpeg's
// choice for this processor) and padded to it; null when out of memory.
FramePtr NewPicture(AVPixelFormat format, int width, int height, int alignment = 0);

}  // namespace media
