#include "tarn/video/PlaneCrop.h"

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace tarn {

namespace {
bool IsChromaPlane(const AVPixFmtDescriptor* descriptor, int plane) {
    if ((descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0 || descriptor->nb_components < 3 ||
        plane == descriptor->comp[0].plane) {
        return false;
    }
    return plane == descriptor->comp[1].plane || plane == descriptor->comp[2].plane;
}
}  // namespace

bool CroppableByPointers(const AVPixFmtDescriptor* descriptor) {
    constexpr std::uint64_t kShared = AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                                      AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER;
    if ((descriptor->flags & kShared) != 0) {
        return false;
    }
    const bool subsampled = descriptor->log2_chroma_w != 0 || descriptor->log2_chroma_h != 0;
    return (descriptor->flags & AV_PIX_FMT_FLAG_PLANAR) != 0 || !subsampled;
}

void CropPlanes(const AVFrame* picture, const AVPixFmtDescriptor* descriptor,
                const PixelRect& shown, PictureRegion* region) {
    int steps[4] = {};
    av_image_fill_max_pixsteps(steps, nullptr, descriptor);
    for (int plane = 0; plane < 4 && picture->data[plane] != nullptr; ++plane) {
        const bool chroma = IsChromaPlane(descriptor, plane);
        const int x = chroma ? shown.x >> descriptor->log2_chroma_w : shown.x;
        const int y = chroma ? shown.y >> descriptor->log2_chroma_h : shown.y;
        region->planes[plane] = picture->data[plane] +
                                static_cast<std::ptrdiff_t>(y) * picture->linesize[plane] +
                                static_cast<std::ptrdiff_t>(x) * steps[plane];
        region->strides[plane] = picture->linesize[plane];
    }
    region->width = shown.width;
    region->height = shown.height;
}

}  // namespace tarn
