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

void StorePixel(std::uint8_t* at, const std::uint8_t (&pixel)[4]) {
    std::memcpy(at, pixel, kBytesPerPixel);
}
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

void TurnUpright(const std::uint8_t* from, std::ptrdiff_t fromStride, int width, int height,
                 int rotation, std::uint8_t* to, std::ptrdiff_t toStride) {
    const int turnedWidth = rotation == 180 ? width : height;
    const int turnedHeight = rotation == 180 ? height : width;
    for (int y = 0; y < turnedHeight; ++y) {
        std::uint8_t* row = to + y * toStride;
        for (int x = 0; x < turnedWidth; ++x) {
            int fromX = 0;
            int fromY = 0;
            if (rotation == 90) {  // the picture's left column becomes the top row
                fromX = y;
                fromY = height - 1 - x;
            } else if (rotation == 270) {  // its right column becomes the top row
                fromX = width - 1 - y;
                fromY = x;
            } else {
                fromX = width - 1 - x;
                fromY = height - 1 - y;
            }
            std::uint8_t* pixel = row + x * kBytesPerPixel;
            std::memcpy(pixel, from + fromY * fromStride + fromX * kBytesPerPixel, kBytesPerPixel);
            pixel[3] = 0;
        }
    }
}

void PaintBars(std::uint8_t* frame, int width, int height, const PixelRect& picture,
               std::uint32_t colour) {
    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(colour),
                                   static_cast<std::uint8_t>(colour >> 8),
                                   static_cast<std::uint8_t>(colour >> 16), 0};
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * kBytesPerPixel;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame + y * stride;
        const bool pictureRow = y >= picture.y && y < picture.y + picture.height;
        for (int x = 0; x < width; ++x) {
            if (pictureRow && x == picture.x) {
                x += picture.width - 1;
                continue;
            }
            StorePixel(row + x * kBytesPerPixel, pixel);
        }
    }
}

}  // namespace tarn
