#include "VideoEncoder.h"

#include "EncoderDrain.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace feedcat {
namespace {

// yuv420p when the encoder takes it (what players expect), else its first format.
AVPixelFormat ChoosePixelFormat(const AVCodec* codec) {
    if (codec->pix_fmts == nullptr) {
        return AV_PIX_FMT_YUV420P;
    }
    for (const AVPixelFormat* format = codec->pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
        if (*format == AV_PIX_FMT_YUV420P) {
            return *format;
        }
    }
    return codec->pix_fmts[0];
}

}  // namespace

bool VideoEncoder::Open(const AVCodec* codec, std::int32_t width, std::int32_t height,
                        AVRational frameRate, bool globalHeader, std::string* error) {
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
        *error = "out of memory";
        return false;
    }
    context_->width = (width + 1) & ~1;
    context_->height = (height + 1) & ~1;
    context_->pix_fmt = ChoosePixelFormat(codec);
    context_->time_base = av_inv_q(frameRate);
    context_->framerate = frameRate;
    context_->sample_aspect_ratio = AVRational{1, 1};
    context_->gop_size = 50;
    if (globalHeader) {
        context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (std::string(codec->name) == "libx264") {
        av_opt_set(context_->priv_data, "preset", "veryfast", 0);
    } else if (codec->id == AV_CODEC_ID_MPEG4) {
        context_->bit_rate = 4000000;
    }
    const int opened = avcodec_open2(context_.get(), codec, nullptr);
    if (opened < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(opened, text, sizeof(text));
        *error = std::string("cannot open video encoder '") + codec->name + "': " + text;
        return false;
    }
    frame_->format = context_->pix_fmt;
    frame_->width = context_->width;
    frame_->height = context_->height;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) {
        *error = "out of memory";
        return false;
    }
    return true;
}

bool VideoEncoder::Encode(const std::uint8_t* pixels, std::int32_t frameWidth,
                          std::int32_t frameHeight, std::int64_t index, const PacketSink& sink) {
    if (!scaler_ || frameWidth != scalerWidth_ || frameHeight != scalerHeight_) {
        scaler_.reset(sws_getContext(frameWidth, frameHeight, AV_PIX_FMT_BGR0, context_->width,
                                     context_->height, context_->pix_fmt, SWS_BICUBIC, nullptr,
                                     nullptr, nullptr));
        if (!scaler_) {
            return false;
        }
        scalerWidth_ = frameWidth;
        scalerHeight_ = frameHeight;
    }
    // The encoder may still hold a reference to the previous picture.
    if (av_frame_make_writable(frame_.get()) < 0) {
        return false;
    }
    const std::uint8_t* const source[4] = {pixels, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {frameWidth * 4, 0, 0, 0};
    sws_scale(scaler_.get(), source, sourceStride, 0, frameHeight, frame_->data, frame_->linesize);
    frame_->pts = index;
    if (avcodec_send_frame(context_.get(), frame_.get()) < 0) {
        return false;
    }
    return Drain(sink);
}

bool VideoEncoder::Flush(const PacketSink& sink) {
    if (avcodec_send_frame(context_.get(), nullptr) < 0) {
        return false;
    }
    return Drain(sink);
}

bool VideoEncoder::Drain(const PacketSink& sink) {
    return DrainPackets(context_.get(), packet_.get(), [&sink](AVPacket* packet) {
        if (packet->duration <= 0) {
            packet->duration = 1;  // one frame in the encoder's time base
        }
        return sink(packet);
    });
}

}  // namespace feedcat
