#include "output/PictureConverter.h"

#include <algorithm>

#include <libyuv/convert.h>

#include "console/ThreadCost.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace feedcat {

namespace {

// libyuv converts B G R X frames of even sides into 4:2:0 pictures with BT.601's matrix in
// limited range (what feedcat writes below 720 lines) many times faster than libswscale, and
// reads nothing past the frame's last pixel.
bool ConvertsWithLibyuv(AVPixelFormat format, std::int32_t width, std::int32_t height) {
    if (format != AV_PIX_FMT_YUV420P || width % 2 != 0 || height % 2 != 0) {
        return false;
    }
    const OutputColour colour = ColourFor(format, height);
    return colour.matrix == AVCOL_SPC_SMPTE170M && colour.range == AVCOL_RANGE_MPEG;
}

}  // namespace

void EncodedSize(AVPixelFormat format, int width, int height, int* encodedWidth,
                 int* encodedHeight) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int across = descriptor != nullptr ? (1 << descriptor->log2_chroma_w) - 1 : 1;
    const int down = descriptor != nullptr ? (1 << descriptor->log2_chroma_h) - 1 : 1;
    *encodedWidth = (width + across) & ~across;
    *encodedHeight = (height + down) & ~down;
}

media::FramePtr PictureConverter::Convert(const std::uint8_t* pixels, std::int32_t width,
                                          std::int32_t height) {
    const std::int64_t started = ThisThreadCpuNs();
    if (ConvertsWithLibyuv(format_, width, height)) {
        media::FramePtr picture = ConvertWithLibyuv(pixels, width, height);
        cpuNs_ += ThisThreadCpuNs() - started;
        return picture;
    }
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    // Grown once and reused: no allocation (nor page faults) per frame.
    if (padded_.size() < bytes + kReadPadding) {
        padded_.resize(bytes + kReadPadding);
    }
    std::copy(pixels, pixels + bytes, padded_.begin());
    media::FramePtr picture = ConvertPadded(padded_.data(), width, height);
    cpuNs_ += ThisThreadCpuNs() - started;
    return picture;
}

media::FramePtr PictureConverter::ConvertPadded(const std::uint8_t* pixels, std::int32_t width,
                                                std::int32_t height) {
    if (ConvertsWithLibyuv(format_, width, height)) {
        return ConvertWithLibyuv(pixels, width, height);
    }
    int outputWidth = 0;
    int outputHeight = 0;
    EncodedSize(format_, width, height, &outputWidth, &outputHeight);
    if (!scaler_ || width != scalerWidth_ || height != scalerHeight_) {
        scaler_.reset(sws_getContext(width, height, AV_PIX_FMT_BGR0, outputWidth, outputHeight,
                                     format_, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler_) {
            return nullptr;
        }
        colour_ = ColourFor(format_, outputHeight);
        // Full-range RGB in; the output's matrix and range out. For RGB input libswscale uses
        // only the output's table.
        const int* table = sws_getCoefficients(colour_.swsMatrix);
        const bool fullRangeOut = colour_.range == AVCOL_RANGE_JPEG;
        sws_setColorspaceDetails(scaler_.get(), table, 1, table, fullRangeOut ? 1 : 0, 0, 1 << 16,
                                 1 << 16);
        scalerWidth_ = width;
        scalerHeight_ = height;
    }
    media::FramePtr picture = pool_->Take(format_, outputWidth, outputHeight);
    if (!picture) {
        return nullptr;
    }
    const std::uint8_t* const source[4] = {pixels, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {width * 4, 0, 0, 0};
    sws_scale(scaler_.get(), source, sourceStride, 0, height, picture->data, picture->linesize);
    picture->color_range = colour_.range;
    picture->colorspace = colour_.matrix;
    picture->color_primaries = colour_.primaries;
    picture->color_trc = colour_.transfer;
    return picture;
}

media::FramePtr PictureConverter::ConvertWithLibyuv(const std::uint8_t* pixels, std::int32_t width,
                                                    std::int32_t height) {
    media::FramePtr picture = pool_->Take(format_, width, height);
    if (!picture) {
        return nullptr;
    }
    // libyuv's ARGB is B, G, R, A in memory: the delivered frame as it is.
    if (libyuv::ARGBToI420(pixels, width * 4, picture->data[0], picture->linesize[0],
                           picture->data[1], picture->linesize[1], picture->data[2],
                           picture->linesize[2], width, height) != 0) {
        return nullptr;
    }
    const OutputColour colour = ColourFor(format_, height);
    picture->color_range = colour.range;
    picture->colorspace = colour.matrix;
    picture->color_primaries = colour.primaries;
    picture->color_trc = colour.transfer;
    return picture;
}

}  // namespace feedcat
