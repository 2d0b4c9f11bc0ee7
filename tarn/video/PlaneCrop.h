// PlaneCrop: the shown part of a decoded picture as pointers into its planes, without a copy.
#pragma once

#include "tarn/video/ClipGeometry.h"
#include "tarn/video/PictureScaler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace tarn {

// Whether a picture of this format can be cropped at (almost) any pixel by moving each plane's
// pointer: planar and packed formats where every pixel has its own bytes. Not palettes,
// bit-packed pixels, Bayer mosaics, hardware frames or packed 4:2:2 (YUYV), whose pixels share
// bytes.
bool CroppableByPointers(const AVPixFmtDescriptor* descriptor);

// Points the planes and strides of `region` at `shown` of `picture` (of the format `descriptor`
// describes, CroppableByPointers; `shown` on its chroma grid, see OnChromaGrid), and sets the
// region's size. The format and colours are left as they are.
void CropPlanes(const AVFrame* picture, const AVPixFmtDescriptor* descriptor,
                const PixelRect& shown, PictureRegion* region);

}  // namespace tarn
