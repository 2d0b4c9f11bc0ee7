#include "tarn/video/PictureScaler.h"

#include <algorithm>
#include <cstring>

#include "media/NewPicture.h"
#include "media/PictureColour.h"
#include "tarn/FrameBytes.h"
#include "tarn/video/BgrxPixels.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tarn {

namespace {
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

// Scaling down, area averaging: each output pixel the mean of the source pixels it covers, so
// 1080 lines to 360 stay free of aliasing, and as close to FFmpeg's default bicubic as bilinear
// comes (bench/README.md). Scaling up, bilinear (area averaging is the same there). Fast
// bilinear takes two taps whatever the factor: faster, but aliased. Area averaging also
// where only one side shrinks: it interpolates bilinearly along the other, and bilinear's
// filter, whose taps grow with the factor on a shrinking side, is refused beyond about 128
// times (720 lines into 4).
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
// frames allow for it (their rows are aligned and padded); the caller's rows may have no room
// between them.
constexpr std::uintptr_t kScalerBlock = kFrameAlignment;

// Whether libswscale can write `width` pixels per row straight into rows starting at `start`,
// `stride` bytes apart: every row starts on a block boundary and ends on one, as in an FFmpeg
// frame whose rows need no padding.
bool WritableInPlace(const std::uint8_t* start, std::ptrdiff_t stride, int width) {
    const auto rowBytes = static_cast<std::uintptr_t>(width) * kBytesPerPixel;
    return reinterpret_cast<std::uintptr_t>(start) % kScalerBlock == 0 &&
           static_cast<std::uintptr_t>(stride) % kScalerBlock == 0 && rowBytes % kScalerBlock == 0;
}

// Copies `width` x `height` pixels from rows `fromStride` bytes apart to rows `toStride` bytes
// apart, with the fourth byte (255 from libswscale) cleared on the way.
void CopyPixels(const std::uint8_t* from, std::ptrdiff_t fromStride, int width, int height,
                std::uint8_t* to, std::ptrdiff_t toStride) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * kBytesPerPixel;
    for (int y = 0; y < height; ++y) {
        std::memcpy(to + y * toStride, from + y * fromStride, rowBytes);
    }
    ClearFourthBytes(to, width, height, toStride);
}

// Makes `frame` a `width` x `height` B G R X frame whose rows libswscale may write whole:
// aligned to its block and padded past the last one. Kept while the size stays the same.
bool SizeScalerFrame(media::FramePtr* frame, int width, int height) {
    if (*frame && (*frame)->width == width && (*frame)->height == height) {
        return true;
    }
    *frame = media::NewPicture(kOutputFormat, width, height, static_cast<int>(kScalerBlock));
    return *frame != nullptr;
}

// Output rows averaged and converted at a time: the band's planes stay in the processor's
// cache between the two steps.
constexpr int kBandRows = 32;

}  // namespace

bool DescribeColours(const AVFrame* picture, PictureRegion* region) {
    // YUV only; RGB is always full. Grey is full unless tagged otherwise, as libswscale and
    // ffmpeg read it: libswscale's conversions of grey kept at its size take it so whatever
    // range they are told, so any other reading would make a grey picture's brightness depend
    // on the output's size.
    const AVPixFmtDescriptor* descriptor =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    const bool grey = descriptor != nullptr && descriptor->nb_components <= 2 &&
                      (descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL |
                                            AV_PIX_FMT_FLAG_BITSTREAM)) == 0;
    bool fullRange = picture->color_range == AVCOL_RANGE_JPEG ||
                     (grey && picture->color_range != AVCOL_RANGE_MPEG);
    region->format = PlainFormat(static_cast<AVPixelFormat>(picture->format), &fullRange);
    region->fullRange = fullRange;
    region->colourMatrix = ColourMatrix(picture);
    return sws_isSupportedInput(region->format) != 0;
}

bool PictureScaler::Scale(const PictureRegion& region, int width, int height, std::uint8_t* target,
                          std::ptrdiff_t targetStride) {
    if (region.width <= 0 || region.height <= 0 || width <= 0 || height <= 0 || target == nullptr) {
        return false;
    }
    Averaging averaging;
    if (CanAverage(region, width, height, &averaging)) {
        return ScaleByAveraging(region, averaging, width, height, target, targetStride);
    }
    return ScaleWithSws(region, width, height, target, targetStride);
}

bool PictureScaler::CanAverage(const PictureRegion& region, int width, int height,
                               Averaging* averaging) {
    averaging->rgb = IsRgbForBgrx(region.format, &averaging->pixelBytes);
    averaging->tenBit = false;
    switch (region.format) {
        case AV_PIX_FMT_YUV420P10:
            averaging->tenBit = true;
            [[fallthrough]];
        case AV_PIX_FMT_YUV420P:
            averaging->layout = ChromaLayout::Yuv420;
            break;
        case AV_PIX_FMT_YUV422P10:
            averaging->tenBit = true;
            [[fallthrough]];
        case AV_PIX_FMT_YUV422P:
            averaging->layout = ChromaLayout::Yuv422;
            break;
        case AV_PIX_FMT_YUV444P10:
            averaging->tenBit = true;
            [[fallthrough]];
        case AV_PIX_FMT_YUV444P:
            averaging->layout = ChromaLayout::Yuv444;
            break;
        default:
            if (!averaging->rgb) {
                return false;
            }
            averaging->layout = ChromaLayout::Yuv444;  // every plane at full size
            break;
    }
    if (region.width % width != 0 || region.height % height != 0) {
        return false;
    }
    averaging->columnFactor = region.width / width;
    averaging->rowFactor = region.height / height;
    if (averaging->columnFactor * averaging->rowFactor > kMaxAveragedSamples) {
        return false;
    }
    // Shrunk, the chroma of 4:2:0 and 4:2:2 pictures is averaged to one sample for every two
    // output pixels of a row: an odd width would leave the last one half outside the picture.
    const bool shrunk = averaging->columnFactor > 1 || averaging->rowFactor > 1;
    if (shrunk && averaging->layout != ChromaLayout::Yuv444 && width % 2 != 0) {
        return false;
    }
    return averaging->rgb || converter_.SetColours(region.colourMatrix, region.fullRange);
}

bool PictureScaler::ScaleByAveraging(const PictureRegion& region, const Averaging& averaging,
                                     int width, int height, std::uint8_t* target,
                                     std::ptrdiff_t targetStride) {
    if (targetStride > INT32_MAX) {
        return false;
    }
    const int stride = static_cast<int>(targetStride);
    if (averaging.rgb && zeroRow_.size() < static_cast<std::size_t>(width)) {
        zeroRow_.assign(static_cast<std::size_t>(width), 0);
    }
    // Converts `rows` rows of planes laid out as `layout` into the target from `firstRow` on.
    const auto convert = [&](ChromaLayout layout, const std::uint8_t* const planes[3],
                             const int strides[3], int firstRow, int rows) {
        std::uint8_t* out = target + static_cast<std::ptrdiff_t>(firstRow) * stride;
        if (averaging.rgb) {
            return WriteRgbAsBgrx(region.format, planes, strides, width, rows, out, stride,
                                  zeroRow_.data());
        }
        return converter_.Convert(layout, averaging.tenBit, planes, strides, width, rows, out,
                                  stride);
    };
    if (averaging.columnFactor == 1 && averaging.rowFactor == 1) {
        return convert(averaging.layout, region.planes, region.strides, 0, height);
    }
    // Shrunk, the chroma is brought to the output's rows (4:2:2, or 4:4:4 from 4:4:4): as
    // libswscale does, which keeps the colour edges of a picture as sharp as it shows them.
    const ChromaLayout bandLayout =
        averaging.layout == ChromaLayout::Yuv444 ? ChromaLayout::Yuv444 : ChromaLayout::Yuv422;
    const int planeCount = averaging.rgb && averaging.pixelBytes > 1 ? 1 : 3;
    const int chromaWidth = bandLayout == ChromaLayout::Yuv444 ? width : width / 2;
    const bool chromaHalvesRows = averaging.layout == ChromaLayout::Yuv420;
    const int chromaRows = chromaHalvesRows ? (region.height + 1) / 2 : region.height;
    const PlaneReduction lumaReduction{averaging.columnFactor, averaging.rowFactor, 1,
                                       averaging.rgb ? averaging.pixelBytes : 1};
    const PlaneReduction chromaReduction{averaging.columnFactor, averaging.rowFactor,
                                         chromaHalvesRows ? 2 : 1, 1};

    const std::size_t lumaSamples =
        static_cast<std::size_t>(width) * lumaReduction.channels * kBandRows;
    const std::size_t chromaSamples =
        planeCount == 3 ? static_cast<std::size_t>(chromaWidth) * kBandRows : 0;
    band_.resize(lumaSamples + 2 * chromaSamples);
    const int sampleBytes = averaging.tenBit ? 2 : 1;
    auto* bandBytes = reinterpret_cast<std::uint8_t*>(band_.data());
    const std::uint8_t* bandPlanes[3] = {bandBytes, bandBytes + lumaSamples * sampleBytes,
                                         bandBytes + (lumaSamples + chromaSamples) * sampleBytes};
    const int bandStrides[3] = {width * lumaReduction.channels * sampleBytes,
                                chromaWidth * sampleBytes, chromaWidth * sampleBytes};

    for (int firstRow = 0; firstRow < height; firstRow += kBandRows) {
        const int rows = std::min(kBandRows, height - firstRow);
        for (int plane = 0; plane < planeCount; ++plane) {
            const bool first = plane == 0;
            const int planeWidth = first ? width : chromaWidth;
            const int sourceRows = first ? region.height : chromaRows;
            const PlaneReduction& reduction = first ? lumaReduction : chromaReduction;
            auto* out = const_cast<std::uint8_t*>(bandPlanes[plane]);
            if (averaging.tenBit) {
                averager_.Average(reinterpret_cast<const std::uint16_t*>(region.planes[plane]),
                                  region.strides[plane] / 2, sourceRows,
                                  reinterpret_cast<std::uint16_t*>(out), bandStrides[plane] / 2,
                                  planeWidth, firstRow, rows, reduction);
            } else {
                averager_.Average(region.planes[plane], region.strides[plane], sourceRows, out,
                                  bandStrides[plane], planeWidth, firstRow, rows, reduction);
            }
        }
        if (!convert(bandLayout, bandPlanes, bandStrides, firstRow, rows)) {
            return false;
        }
    }
    return true;
}

bool PictureScaler::Prepare(Scaler* scaler, int sourceWidth, int sourceHeight,
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

bool PictureScaler::ScaleWithSws(const PictureRegion& region, int width, int height,
                                 std::uint8_t* target, std::ptrdiff_t targetStride) {
    if (!sws_isSupportedInput(region.format)) {
        return false;
    }
    const std::uint8_t* planes[4] = {region.planes[0], region.planes[1], region.planes[2],
                                     region.planes[3]};
    int strides[4] = {region.strides[0], region.strides[1], region.strides[2], region.strides[3]};
    int sourceHeight = region.height;
    if (!Prepare(&scaler_, region.width, region.height, region.format, width, height,
                 region.colourMatrix, region.fullRange)) {
        // Refused in one step: grown part of the way into a B G R X picture, then from that.
        const int stepWidth = static_cast<int>(
            std::min<std::int64_t>(width, std::int64_t{region.width} * kMaxFirstStep));
        const int stepHeight = static_cast<int>(
            std::min<std::int64_t>(height, std::int64_t{region.height} * kMaxFirstStep));
        const AVFrame* step = FirstStep(region, stepWidth, stepHeight);
        if (step == nullptr || !Prepare(&scaler_, stepWidth, stepHeight, kOutputFormat, width,
                                        height, SWS_CS_DEFAULT, true)) {
            return false;
        }
        for (int plane = 0; plane < 4; ++plane) {
            planes[plane] = step->data[plane];
            strides[plane] = step->linesize[plane];
        }
        sourceHeight = stepHeight;
    }
    if (WritableInPlace(target, targetStride, width) && targetStride <= INT32_MAX) {
        std::uint8_t* scaled[4] = {target, nullptr, nullptr, nullptr};
        const int scaledStrides[4] = {static_cast<int>(targetStride), 0, 0, 0};
        if (sws_scale(scaler_.context.get(), planes, strides, 0, sourceHeight, scaled,
                      scaledStrides) <= 0) {
            return false;
        }
        ClearFourthBytes(target, width, height, targetStride);  // libswscale writes 255
        return true;
    }
    // Scaled into a frame laid out as libswscale needs, then copied into place.
    if (!SizeScalerFrame(&padded_, width, height) ||
        sws_scale(scaler_.context.get(), planes, strides, 0, sourceHeight, padded_->data,
                  padded_->linesize) <= 0) {
        return false;
    }
    CopyPixels(padded_->data[0], padded_->linesize[0], width, height, target, targetStride);
    return true;
}

const AVFrame* PictureScaler::FirstStep(const PictureRegion& region, int width, int height) {
    if (!SizeScalerFrame(&firstStep_, width, height) ||
        !Prepare(&stepScaler_, region.width, region.height, region.format, width, height,
                 region.colourMatrix, region.fullRange) ||
        sws_scale(stepScaler_.context.get(), region.planes, region.strides, 0, region.height,
                  firstStep_->data, firstStep_->linesize) <= 0) {
        return nullptr;
    }
    return firstStep_.get();
}

}  // namespace tarn
