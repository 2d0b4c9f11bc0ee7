#include "tarn/video/BgrxPixels.h"

#include <cstring>

#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tarn {

namespace {
constexpr int kBytesPerPixel = 4;
}  // namespace

void ClearFourthBytes(std::uint8_t* row, int width, int height, std::ptrdiff_t stride) {
    // A whole pixel at a time, ANDed with a mask that keeps B, G and R whatever the byte order:
    // the compiler turns this into wide vector ANDs, where byte stores would not vectorise.
    const std::uint8_t keep[kBytesPerPixel] = {0xFF, 0xFF, 0xFF, 0x00};
    std::uint32_t mask = 0;
    std::memcpy(&mask, keep, sizeof mask);
    for (int y = 0; y < height; ++y, row += stride) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, row + x * kBytesPerPixel, sizeof pixel);
            pixel &= mask;
            std::memcpy(row + x * kBytesPerPixel, &pixel, sizeof pixel);
        }
    }
}

bool IsRgbForBgrx(AVPixelFormat format, int* pixelBytes) {
    switch (format) {
        case AV_PIX_FMT_BGR0:
        case AV_PIX_FMT_BGRA:
        case AV_PIX_FMT_RGB0:
        case AV_PIX_FMT_RGBA:
        case AV_PIX_FMT_0RGB:
        case AV_PIX_FMT_ARGB:
        case AV_PIX_FMT_0BGR:
        case AV_PIX_FMT_ABGR:
            *pixelBytes = 4;
            return true;
        case AV_PIX_FMT_RGB24:
        case AV_PIX_FMT_BGR24:
            *pixelBytes = 3;
            return true;
        case AV_PIX_FMT_GBRP:
            *pixelBytes = 1;
            return true;
        default:
            return false;
    }
}

bool WriteRgbAsBgrx(AVPixelFormat format, const std::uint8_t* const planes[3], const int strides[3],
                    int width, int height, std::uint8_t* target, int targetStride,
                    const std::uint8_t* zeroRow) {
    int pixelBytes = 0;
    if (!IsRgbForBgrx(format, &pixelBytes) || width <= 0 || height <= 0) {
        return false;
    }
    int result = 0;
    switch (format) {
        case AV_PIX_FMT_GBRP:
            // The zero row read again for every row is the fourth byte.
            libyuv::MergeARGBPlane(planes[2], strides[2], planes[0], strides[0], planes[1],
                                   strides[1], zeroRow, 0, target, targetStride, width, height);
            return true;
        case AV_PIX_FMT_RGB24:  // R, G, B in memory: libyuv's RAW
            result = libyuv::RAWToARGB(planes[0], strides[0], target, targetStride, width, height);
            break;
        case AV_PIX_FMT_BGR24:  // B, G, R in memory: libyuv's RGB24
            result =
                libyuv::RGB24ToARGB(planes[0], strides[0], target, targetStride, width, height);
            break;
        default: {
            // Each output byte from its place in the source pixel; the fourth cleared below.
            const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
            const int red = descriptor->comp[0].offset;
            const int green = descriptor->comp[1].offset;
            const int blue = descriptor->comp[2].offset;
            std::uint8_t shuffler[16];
            for (int pixel = 0; pixel < 4; ++pixel) {
                shuffler[pixel * 4] = static_cast<std::uint8_t>(pixel * 4 + blue);
                shuffler[pixel * 4 + 1] = static_cast<std::uint8_t>(pixel * 4 + green);
                shuffler[pixel * 4 + 2] = static_cast<std::uint8_t>(pixel * 4 + red);
                shuffler[pixel * 4 + 3] = static_cast<std::uint8_t>(pixel * 4 + blue);
            }
            result = libyuv::ARGBShuffle(planes[0], strides[0], target, targetStride, shuffler,
                                         width, height);
            break;
        }
    }
    if (result != 0) {
        return false;
    }
    ClearFourthBytes(target, width, height, targetStride);
    return true;
}

}  // namespace tarn
