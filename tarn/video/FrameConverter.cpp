#include "tarn/video/FrameConverter.h"

#include <cstddef>
#include <cstdint>

#include "media/NewPicture.h"
#include "tarn/video/BgrxPixels.h"
#include "tarn/video/ClipGeometry.h"
#include "tarn/video/PlaneCrop.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tarn {

namespace {
constexpr AVPixelFormat kUnpackedFormat = AV_PIX_FMT_BGR0;
constexpr int kBytesPerPixel = 4;
}  // namespace

FrameConverter::FrameConverter(const VideoClipSetup& clip)
    : crop_(clip.crop),
      mode_(clip.mode),
      barColour_(clip.barColour),
      outputWidth_(clip.outputWidth),
      outputHeight_(clip.outputHeight) {}

const AVFrame* FrameConverter::Unpacked(const AVFrame* picture) {
    PictureRegion whole;
    if (!DescribeColours(picture, &whole)) {
        return nullptr;
    }
    if (!unpacked_ || unpacked_->width != picture->width || unpacked_->height != picture->height) {
        // Rows aligned and padded to libswscale's block, so that it writes them in place.
        unpacked_ = media::NewPicture(kUnpackedFormat, picture->width, picture->height,
                                      static_cast<int>(kFrameAlignment));
        if (!unpacked_) {
            return nullptr;
        }
    }
    for (int plane = 0; plane < 4; ++plane) {
        whole.planes[plane] = picture->data[plane];
        whole.strides[plane] = picture->linesize[plane];
    }
    whole.width = picture->width;
    whole.height = picture->height;
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
    PictureRegion region;
    if (!DescribeColours(source, &region)) {
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
    CropPlanes(source, descriptor,
               OnChromaGrid(placement.source, descriptor->log2_chroma_w, descriptor->log2_chroma_h),
               &region);

    const PixelRect& target = placement.target;
    if (!ScaleUpright(region, target, rotation, frame)) {
        return false;
    }
    if (target.width != outputWidth_ || target.height != outputHeight_) {
        PaintBars(frame, outputWidth_, outputHeight_, target, barColour_);
    }
    return true;
}

bool FrameConverter::ScaleUpright(const PictureRegion& region, const PixelRect& target,
                                  int rotation, std::uint8_t* frame) {
    // Scaled in the picture's own orientation, then turned upright: straight into the frame
    // when there is nothing to turn, else through a copy.
    const bool quarterTurn = rotation == 90 || rotation == 270;
    const int scaledWidth = quarterTurn ? target.height : target.width;
    const int scaledHeight = quarterTurn ? target.width : target.height;
    const std::ptrdiff_t frameStride = static_cast<std::ptrdiff_t>(outputWidth_) * kBytesPerPixel;
    std::uint8_t* targetStart =
        frame + target.y * frameStride + static_cast<std::ptrdiff_t>(target.x) * kBytesPerPixel;
    if (rotation == 0) {
        return scaler_.Scale(region, scaledWidth, scaledHeight, targetStart, frameStride);
    }
    const std::ptrdiff_t unturnedStride = static_cast<std::ptrdiff_t>(scaledWidth) * kBytesPerPixel;
    unturned_.resize(static_cast<std::size_t>(unturnedStride) * scaledHeight);
    if (!scaler_.Scale(region, scaledWidth, scaledHeight, unturned_.data(), unturnedStride)) {
        return false;
    }
    TurnUpright(unturned_.data(), unturnedStride, scaledWidth, scaledHeight, rotation, targetStart,
                frameStride);
    return true;
}

}  // namespace tarn
