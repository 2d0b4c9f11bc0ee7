#include "tarn/FrameConverter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media/PictureColour.h"
#include "tarn/PictureFitter.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace tarn {

namespace {
// Scaling down, area averaging: each output pixel the mean of the source pixels it covers, so
// 1080 lines to 360 stay free of aliasing, at 0.73 ms a 1080p frame against bilinear's 1.05
// (41.6 dB against FFmpeg's default bicubic on job R's 1080p span, bilinear 42.3). Scaling up,
// bilinear (area averaging is the same there). Fast bilinear takes two taps whatever the
// factor: 0.5 ms, but 22 dB, aliased. Area averaging also where only one side shrinks: it
// interpolates bilinearly along the other, and bilinear's filter, whose taps grow with the factor
// on a shrinking side, is refused beyond about 128 times (720 lines into 4).
// Shrunk more than 16 times, libswscale's vector code loses precision summing the many taps
// (a grey 1920x1080 picture at 118x12 comes out 14 levels dark and green): accurate rounding
// there, which costs little at such small outputs.
int ScaleFlags(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight) {
    int flags = targetWidth < sourceWidth || targetHeight < sourceHeight ? SWS_AREA : SWS_BILINEAR;
    if (std::int64_t{targetWidth} * 16 < sourceWidth ||
        std::int64_t{targetHeight} * 16 < sourceHeight) {
        flags |= SWS_ACCURATE_RND;
    }
    return flags;
}
// libswscale refuses to grow a side of one or two pixels several thousand times in one step
// (1x1 into 1x7937); such pictures are grown at most this many times first, then scaled again.
constexpr int kMaxFirstStep = 64;
constexpr AVPixelFormat kOutputFormat = AV_PIX_FMT_BGR0;
constexpr int kBytesPerPixel = 4;

// libswscale's vector code writes rows in whole blocks of up to 64 bytes, counted from the
// row's start: a row whose length is no multiple of that is overrun, on the last row past the
// end of the frame (16 pixels are written for a row of 8, 432 for a row of 426). FFmpeg's own
// frames allow for it (their rows are aligned and padded); ours have no room between rows.
constexpr std::uintptr_t kScalerBlock = kFrameAlignment;

// Whether libswscale can write `width` pixels per row straight into rows starting at `start`,
// `stride` bytes apart: every row starts on a block boundary and ends on one, as in an FFmpeg
// frame whose rows need no padding.
bool WritableInPlace(const std::uint8_t* start, std::ptrdiff_t stride, int width) {
    const auto rowBytes = static_cast<std::uintptr_t>(width) * kBytesPerPixel;
    return reinterpret_cast<std::uintptr_t>(start) % kScalerBlock == 0 &&
           static_cast<std::uintptr_t>(stride) % kScalerBlock == 0 && rowBytes % kScalerBlock == 0;
}

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

// The scaler writes 255 as the fourth byte; black must be all-zero bytes.
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

// Copies `width` x `height` pixels from rows `fromStride` bytes apart to rows `toStride` bytes
// apart, with the fourth byte cleared on the way.
void CopyPixels(const std::uint8_t* from, std::ptrdiff_t fromStride, int width, int height,
                std::uint8_t* to, std::ptrdiff_t toStride) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * kBytesPerPixel;
    for (int y = 0; y < height; ++y) {
        std::memcpy(to + y * toStride, from + y * fromStride, rowBytes);
    }
    ClearFourthBytes(to, width, height, toStride);
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
// Makes `frame` a `width` x `height` B G R X frame whose rows libswscale may write whole:
// aligned to its block and padded past the last one. Kept while the size stays the same.
bool SizeScalerFrame(media::FramePtr* frame, int width, int height) {
    if (*frame && (*frame)->width == width && (*frame)->height == height) {
        return true;
    }
    frame->reset(av_frame_alloc());
    if (!*frame) {
        return false;
    }
    (*frame)->width = width;
    (*frame)->height = height;
    (*frame)->format = kOutputFormat;
    if (av_frame_get_buffer(frame->get(), static_cast<int>(kScalerBlock)) < 0) {
        frame->reset();
        return false;
    }
    return true;
}

}  // namespace

FrameConverter::FrameConverter(const VideoClipSetup& clip)
    : crop_(clip.crop),
      mode_(clip.mode),
      barColour_(clip.barColour),
      outputWidth_(clip.outputWidth),
      outputHeight_(clip.outputHeight) {}

bool FrameConverter::Prepare(Scaler* scaler, int sourceWidth, int sourceHeight,
                             AVPixelFormat sourceFormat, int targetWidth, int targetHeight,
                             int colourMatrix, bool fullRange) {
    if (scaler->context && scaler->sourceWidth == sourceWidth &&
        scaler->sourceHeight == sourceHeight && scaler->sourceFormat == sourceFormat &&
        scaler->targetWidth == targetWidth && scaler->targetHeight == targetHeight &&
        scaler->colourMatrix == colourMatrix && scaler->fullRange == fullRange) {
        return true;
    }
    // sws_getCachedContext frees the context it is given when it cannot reuse it.
    scaler->context.reset(
        sws_getCachedContext(scaler->context.release(), sourceWidth, sourceHeight, sourceFormat,
                             targetWidth, targetHeight, kOutputFormat,
                             ScaleFlags(sourceWidth, sourceHeight, targetWidth, targetHeight),
                             nullptr, nullptr, nullptr));
    if (!scaler->context) {
        *scaler = Scaler{};
        return false;
    }
    // Full-range RGB out; the range is ignored for RGB sources.
    sws_setColorspaceDetails(scaler->context.get(), sws_getCoefficients(colourMatrix),
                             fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                             1 << 16);
    scaler->sourceWidth = sourceWidth;
    scaler->sourceHeight = sourceHeight;
    scaler->sourceFormat = sourceFormat;
    scaler->targetWidth = targetWidth;
    scaler->targetHeight = targetHeight;
    scaler->colourMatrix = colourMatrix;
    scaler->fullRange = fullRange;
    return true;
}

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
        unpacked_->format = kOutputFormat;
        if (av_frame_get_buffer(unpacked_.get(), 0) < 0) {
            unpacked_.reset();
            return nullptr;
        }
    }
    if (!Prepare(&unpacker_, picture->width, picture->height, format, picture->width,
                 picture->height, ColourMatrix(picture), fullRange) ||
        sws_scale(unpacker_.context.get(), picture->data, picture->linesize, 0, picture->height,
                  unpacked_->data, unpacked_->linesize) <= 0) {
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
        descriptor = av_pix_fmt_desc_get(kOutputFormat);
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
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int plane = 0; plane < 4 && source->data[plane] != nullptr; ++plane) {
        const bool chroma = IsChromaPlane(descriptor, plane);
        const int x = chroma ? shown.x >> descriptor->log2_chroma_w : shown.x;
        const int y = chroma ? shown.y >> descriptor->log2_chroma_h : shown.y;
        planes[plane] = source->data[plane] +
                        static_cast<std::ptrdiff_t>(y) * source->linesize[plane] +
                        static_cast<std::ptrdiff_t>(x) * steps[plane];
        strides[plane] = source->linesize[plane];
    }

    // Scaled in the picture's own orientation, then turned upright.
    const PixelRect& target = placement.target;
    const bool quarterTurn = rotation == 90 || rotation == 270;
    const int scaledWidth = quarterTurn ? target.height : target.width;
    const int scaledHeight = quarterTurn ? target.width : target.height;
    if (!Prepare(&scaler_, shown.width, shown.height, format, scaledWidth, scaledHeight,
                 ColourMatrix(source), fullRange)) {
        // Refused in one step: grown part of the way into a B G R X picture, then from that.
        const int stepWidth = static_cast<int>(
            std::min<std::int64_t>(scaledWidth, std::int64_t{shown.width} * kMaxFirstStep));
        const int stepHeight = static_cast<int>(
            std::min<std::int64_t>(scaledHeight, std::int64_t{shown.height} * kMaxFirstStep));
        const AVFrame* step = FirstStep(planes, strides, shown.width, shown.height, format,
                                        ColourMatrix(source), fullRange, stepWidth, stepHeight);
        if (step == nullptr || !Prepare(&scaler_, stepWidth, stepHeight, kOutputFormat, scaledWidth,
                                        scaledHeight, SWS_CS_DEFAULT, true)) {
            return false;
        }
        for (int plane = 0; plane < 4; ++plane) {
            planes[plane] = step->data[plane];
            strides[plane] = step->linesize[plane];
        }
        shown.width = stepWidth;
        shown.height = stepHeight;
    }
    const std::ptrdiff_t frameStride = static_cast<std::ptrdiff_t>(outputWidth_) * kBytesPerPixel;
    std::uint8_t* targetStart =
        frame + target.y * frameStride + static_cast<std::ptrdiff_t>(target.x) * kBytesPerPixel;
    if (rotation == 0 && WritableInPlace(targetStart, frameStride, scaledWidth)) {
        std::uint8_t* scaled[4] = {targetStart, nullptr, nullptr, nullptr};
        const int scaledStrides[4] = {static_cast<int>(frameStride), 0, 0, 0};
        if (sws_scale(scaler_.context.get(), planes, strides, 0, shown.height, scaled,
                      scaledStrides) <= 0) {
            return false;
        }
        ClearFourthBytes(targetStart, target.width, target.height, frameStride);
    } else {
        // Scaled into a frame laid out as libswscale needs, then copied (or turned) into place.
        const AVFrame* scaled = Scaled(planes, strides, shown.height, scaledWidth, scaledHeight);
        if (scaled == nullptr) {
            return false;
        }
        if (rotation != 0) {
            TurnUpright(scaled->data[0], scaled->linesize[0], scaledWidth, scaledHeight, rotation,
                        targetStart, frameStride);
        } else {
            CopyPixels(scaled->data[0], scaled->linesize[0], scaledWidth, scaledHeight, targetStart,
                       frameStride);
        }
    }
    if (target.width != outputWidth_ || target.height != outputHeight_) {
        PaintBars(frame, outputWidth_, outputHeight_, target, barColour_);
    }
    return true;
}

const AVFrame* FrameConverter::FirstStep(const std::uint8_t* const planes[4], const int strides[4],
                                         int sourceWidth, int sourceHeight, AVPixelFormat format,
                                         int colourMatrix, bool fullRange, int width, int height) {
    if (!SizeScalerFrame(&firstStep_, width, height) ||
        !Prepare(&stepScaler_, sourceWidth, sourceHeight, format, width, height, colourMatrix,
                 fullRange) ||
        sws_scale(stepScaler_.context.get(), planes, strides, 0, sourceHeight, firstStep_->data,
                  firstStep_->linesize) <= 0) {
        return nullptr;
    }
    return firstStep_.get();
}

const AVFrame* FrameConverter::Scaled(const std::uint8_t* const planes[4], const int strides[4],
                                      int sourceHeight, int width, int height) {
    if (!SizeScalerFrame(&scaled_, width, height) ||
        sws_scale(scaler_.context.get(), planes, strides, 0, sourceHeight, scaled_->data,
                  scaled_->linesize) <= 0) {
        return nullptr;
    }
    return scaled_.get();
}

}  // namespace tarn
