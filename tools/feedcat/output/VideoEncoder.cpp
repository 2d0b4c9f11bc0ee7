#include "output/VideoEncoder.h"

#include "output/EncoderDrain.h"

#include "media/ErrorText.h"
extern "C" {
#include <libavutil/opt.h>
}

namespace feedcat {
using media::ErrorText;

AVPixelFormat EncoderPixelFormat(const AVCodec* codec) {
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

bool VideoEncoder::Open(const AVCodec* codec, std::int32_t width, std::int32_t height,
                        AVRational frameRate, const OutputColour& colour,
                        const QualitySettings& quality, bool globalHeader, std::string* error) {
    context_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    if (!context_ || !packet_) {
        *error = "out of memory";
        return false;
    }
    context_->width = width;
    context_->height = height;
    context_->pix_fmt = EncoderPixelFormat(codec);
    context_->time_base = av_inv_q(frameRate);
    context_->framerate = frameRate;
    context_->sample_aspect_ratio = AVRational{1, 1};
    context_->gop_size = 50;
    context_->color_range = colour.range;
    context_->colorspace = colour.matrix;
    context_->color_primaries = colour.primaries;
    context_->color_trc = colour.transfer;
    if (globalHeader) {
        context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = nullptr;
    ApplyVideoQuality(quality, context_.get(), &options);
    const int opened = avcodec_open2(context_.get(), codec, &options);
    av_dict_free(&options);
    if (opened < 0) {
        *error = std::string("cannot open video encoder '") + codec->name + "' at " +
                 std::to_string(width) + "x" + std::to_string(height) + ": " + ErrorText(opened);
        return false;
    }
    opened_ = true;
    return true;
}

bool VideoEncoder::Encode(AVFrame* picture, std::int64_t index, const PacketSink& sink) {
    picture->pts = index;
    const int sent = avcodec_send_frame(context_.get(), picture);
    if (sent < 0) {
        return Failed("encoding video", sent);
    }
    return Drain(sink);
}

bool VideoEncoder::Flush(const PacketSink& sink) {
    const int sent = avcodec_send_frame(context_.get(), nullptr);
    if (sent < 0) {
        return Failed("finishing the video", sent);
    }
    return Drain(sink);
}

bool VideoEncoder::Drain(const PacketSink& sink) {
    int code = 0;
    const bool drained = DrainPackets(
        context_.get(), packet_.get(),
        [&sink](AVPacket* packet) {
            if (packet->duration <= 0) {
                packet->duration = 1;  // one frame in the encoder's time base
            }
            return sink(packet);
        },
        &code);
    return drained || Failed("encoding video", code);
}

bool VideoEncoder::Failed(const char* step, int code) {
    failure_ = code < 0 ? std::string(step) + " failed in '" + context_->codec->name +
                              "': " + ErrorText(code)
                        : "";
    return false;
}

}  // namespace feedcat
