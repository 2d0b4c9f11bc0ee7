#include "tarn/video/FrameConverter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media/PictureColour.h"
#include "tarn/video/ClipGeometry.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace tarn {

namespace {
constexpr AVPixelFormat kUnpackedFormat = AV_PIX_FMT_BGR0;
constexpr int kBytesPerPixel = 4;

// The deprecated full-range "J" formats as their plain twins, the range as a flag instead.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            *fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            *fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            *fullRange = true;
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            *fullRange = true;
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            *fullRange = true;
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

// The YUV matrix of a picture, as libswscale names it. Untagged HD pictures are taken as
// BT.709 and smaller ones as BT.601, as players do. RGB pictures (and palettes of RGB) have
// none: libswscale scales them through YUV with the source's matrix one way and the output's
// the other, so any matrix but the output's changes their colours.
int ColourMatrix(const AVFrame* picture) {
    const AVPixFmtDescriptor* descriptor =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    if (descriptor != nullptr &&
        (descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0) {
        return SWS_CS_DEFAULT;
    }
    return media::SwsMatrixOf(picture);
}

// Formats whose crop can start at (almost) any pixel by moving each plane's pointer: planar
// and packed formats where every pixel has its own bytes. Left out: palettes, bit-packed
// pixels, Bayer mosaics, hardware frames and packed 4:2:2 (YUYV), whose pixels share bytes.
bool CroppableByPointers(const AVPixFmtDescriptor* descriptor) {
    constexpr std::uint64_t kShared = AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                                      AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER;
    if ((descriptor->flags & kShared) != 0) {
        return false;
    }
    const bool subsampled = descriptor->log2_chroma_w != 0 || descriptor->log2_chroma_h != 0;
    return (descriptor->flags & AV_PIX_FMT_FLAG_PLANAR) != 0 || !subsampled;
}

bool IsChromaPlane(const AVPixFmtDescriptor* descriptor, int plane) {
    if ((descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0 || descriptor->nb_components < 3 ||
        plane == descriptor->comp[0].plane) {
        return false;
    }
    return plane == descriptor->comp[1].plane || plane == descriptor->comp[2].plane;
}

void StorePixel(std::uint8_t* at, const std::uint8_t (&pixel)[4]) {
    std::memcpy(at, pixel, kBytesPerPixel);
}

// Copies the `width` x `height` picture `from` (as scaled, not yet upright; rows `fromStride`
// bytes apart) into the rectangle at `to`, turned clockwise by `rotation` degrees, with the
// fourth byte cleared.
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

// Fills the output outside `picture` with the bar colour. Only its low three bytes are the
// colour (0x00RRGGBB): whatever the host put in the high byte, the fourth byte stays 0.
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
}  // namespace

FrameConverter::FrameConverter(const VideoClipSetup& clip)
    : crop_(clip.crop),
      mode_(clip.mode),
      barColour_(clip.barColour),
      outputWidth_(clip.outputWidth),
      outputHeight_(clip.outputHeight) {}

const AVFrame* FrameConverter::Unpacked(const AVFrame* picture) {
    bool fullRange = picture->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format =
        PlainFormat(static_cast<AVPixelFormat>(picture->format), &fullRange);
    if (!sws_isSupportedInput(format)) {
        return nullptr;
    }
    if (!unpacked_ || unpacked_->width != picture->width || unpacked_->height != picture->height) {
        unpacked_.reset(av_frame_alloc());
        if (!unpacked_) {
            return nullptr;
        }
        unpacked_->width = picture->width;
        unpacked_->height = picture->height;
        unpacked_->format = kUnpackedFormat;
        // Rows aligned and padded to libswscale's block, so that it writes them in place.
        if (av_frame_get_buffer(unpacked_.get(), static_cast<int>(kFrameAlignment)) < 0) {
            unpacked_.reset();
            return nullptr;
        }
    }
    PictureRegion whole;
    for (int plane = 0; plane < 4; ++plane) {
        whole.planes[plane] = picture->data[plane];
        whole.strides[plane] = picture->linesize[plane];
    }
    whole.width = picture->width;
    whole.height = picture->height;
    whole.format = format;
    whole.colourMatrix = ColourMatrix(picture);
    whole.fullRange = fullRange;
    if (!unpacker_.Scale(whole, picture->width, picture->height, unpacked_->data[0],
                         unpacked_->linesize[0])) {
        return nullptr;
    }
    return unpacked_.get();
}

bool FrameConverter::Convert(const AVFrame* picture, AVRational sar, int rotation,
                             std::uint8_t* frame) {
    if (picture == nullptr || picture->width <= 0 || picture->height <= 0 || outputWidth_ <= 0 ||
        outputHeight_ <= 0) {
        return false;
    }
    const AVPixFmtDescriptor* descriptor =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    if (descriptor == nullptr) {
        return false;
    }
    const AVFrame* source = picture;
    if (!CroppableByPointers(descriptor)) {
        source = Unpacked(picture);
        if (source == nullptr) {
            return false;
        }
        descriptor = av_pix_fmt_desc_get(kUnpackedFormat);
    }
    bool fullRange = source->color_range == AVCOL_RANGE_JPEG;  // YUV only; RGB is always full
    const AVPixelFormat format =
        PlainFormat(static_cast<AVPixelFormat>(source->format), &fullRange);
    if (!sws_isSupportedInput(format)) {
        return false;
    }

    PictureGeometry geometry;
    geometry.sourceWidth = source->width;
    geometry.sourceHeight = source->height;
    geometry.sarNum = sar.num;
    geometry.sarDen = sar.den;
    geometry.rotation = rotation;
    geometry.crop = crop_;
    geometry.mode = mode_;
    geometry.outputWidth = outputWidth_;
    geometry.outputHeight = outputHeight_;
    const PicturePlacement placement = FitPicture(geometry);

    // The shown part starts on the chroma grid (even columns and rows for 4:2:0), so every
    // plane's pointer can move to it; the right and bottom edges stay where they were.
    PixelRect shown = placement.source;
    const int left = shown.x & ~((1 << descriptor->log2_chroma_w) - 1);
    const int top = shown.y & ~((1 << descriptor->log2_chroma_h) - 1);
    shown.width += shown.x - left;
    shown.height += shown.y - top;
    shown.x = left;
    shown.y = top;

    int steps[4] = {};
    av_image_fill_max_pixsteps(steps, nullptr, descriptor);
    PictureRegion region;
    for (int plane = 0; plane < 4 && source->data[plane] != nullptr; ++plane) {
        const bool chroma = IsChromaPlane(descriptor, plane);
        const int x = chroma ? shown.x >> descriptor->log2_chroma_w : shown.x;
        const int y = chroma ? shown.y >> descriptor->log2_chroma_h : shown.y;
        region.planes[plane] = source->data[plane] +
                               static_cast<std::ptrdiff_t>(y) * source->linesize[plane] +
                               static_cast<std::ptrdiff_t>(x) * steps[plane];
        region.strides[plane] = source->linesize[plane];
    }
    region.width = shown.width;
    region.height = shown.height;
    region.format = format;
    region.colourMatrix = ColourMatrix(source);
    region.fullRange = fullRange;

    // Scaled in the picture's own orientation, then turned upright.
    const PixelRect& target = placement.target;
    const bool quarterTurn = rotation == 90 || rotation == 270;
    const int scaledWidth = quarterTurn ? target.height : target.width;
    const int scaledHeight = quarterTurn ? target.width : target.height;
    const std::ptrdiff_t frameStride = static_cast<std::ptrdiff_t>(outputWidth_) * kBytesPerPixel;
    std::uint8_t* targetStart =
        frame + target.y * frameStride + static_cast<std::ptrdiff_t>(target.x) * kBytesPerPixel;
    if (rotation == 0) {
        if (!scaler_.Scale(region, scaledWidth, scaledHeight, targetStart, frameStride)) {
            return false;
        }
    } else {
        const std::ptrdiff_t unturnedStride =
            static_cast<std::ptrdiff_t>(scaledWidth) * kBytesPerPixel;
        unturned_.resize(static_cast<std::size_t>(unturnedStride) * scaledHeight);
        if (!scaler_.Scale(region, scaledWidth, scaledHeight, unturned_.data(), unturnedStride)) {
            return false;
        }
        TurnUpright(unturned_.data(), unturnedStride, scaledWidth, scaledHeight, rotation,
                    targetStart, frameStride);
    }
    if (target.width != outputWidth_ || target.height != outputHeight_) {
        PaintBars(frame, outputWidth_, outputHeight_, target, barColour_);
    }
    return true;
}

}  // namespace tarn
