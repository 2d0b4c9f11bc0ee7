#include "MediaWriter.h"

#include <cstring>

#include "FeedcatProcess.h"
#include "media/FFmpegHolders.h"
#include "output/EncoderDrain.h"

namespace feedcat_test {
namespace {

// Writes every packet the encoder has ready into the stream of output.
bool Drain(AVCodecContext* encoder, AVFormatContext* output, AVStream* stream, AVPacket* packet) {
    int encoderError = 0;
    return feedcat::DrainPackets(
        encoder, packet,
        [&](AVPacket* ready) {
            av_packet_rescale_ts(ready, encoder->time_base, stream->time_base);
            ready->stream_index = stream->index;
            return av_interleaved_write_frame(output, ready) >= 0;
        },
        &encoderError);
}

}  // namespace

std::function<void(AVFrame*, int)> SolidColour(int y, int cb, int cr) {
    return [y, cb, cr](AVFrame* picture, int) {
        for (int row = 0; row < picture->height; ++row) {
            std::memset(picture->data[0] + row * picture->linesize[0], y, picture->width);
        }
        for (int row = 0; row < (picture->height + 1) / 2; ++row) {
            std::memset(picture->data[1] + row * picture->linesize[1], cb,
                        (picture->width + 1) / 2);
            std::memset(picture->data[2] + row * picture->linesize[2], cr,
                        (picture->width + 1) / 2);
        }
    };
}

bool WriteVideoFile(const std::string& path, const PaintedVideo& painted, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    AVFormatContext* allocated = nullptr;
    if (codec == nullptr ||
        avformat_alloc_output_context2(&allocated, nullptr, "matroska", path.c_str()) < 0) {
        *error = "no FFV1 encoder or Matroska muxer";
        return false;
    }
    media::OutputContextPtr output(allocated);
    media::CodecContextPtr encoder(avcodec_alloc_context3(codec));
    media::FramePtr picture(av_frame_alloc());
    media::PacketPtr packet(av_packet_alloc());
    encoder->width = painted.width;
    encoder->height = painted.height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = av_inv_q(painted.rate);
    encoder->framerate = painted.rate;
    encoder->colorspace = painted.matrix;
    encoder->color_primaries = painted.primaries;
    encoder->color_trc = painted.transfer;
    encoder->color_range = painted.range;
    if ((output->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (stream == nullptr || avcodec_open2(encoder.get(), codec, nullptr) < 0 ||
        avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0) {
        *error = "cannot open the FFV1 encoder";
        return false;
    }
    stream->time_base = encoder->time_base;
    AVIOContext* io = nullptr;
    if (avio_open(&io, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        *error = "cannot create " + path;
        return false;
    }
    output->pb = io;
    bool ok = avformat_write_header(output.get(), nullptr) >= 0;
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = painted.width;
    picture->height = painted.height;
    ok = ok && av_frame_get_buffer(picture.get(), 0) >= 0;
    for (int index = 0; ok && index < painted.frames; ++index) {
        ok = av_frame_make_writable(picture.get()) >= 0;
        if (ok) {
            painted.paint(picture.get(), index);
            picture->pts = index;
            ok = avcodec_send_frame(encoder.get(), picture.get()) >= 0 &&
                 Drain(encoder.get(), output.get(), stream, packet.get());
        }
    }
    ok = ok && avcodec_send_frame(encoder.get(), nullptr) >= 0 &&
         Drain(encoder.get(), output.get(), stream, packet.get()) &&
         av_write_trailer(output.get()) >= 0;
    avio_closep(&output->pb);
    if (!ok) {
        *error = "writing " + path + " failed";
    }
    return ok;
}

bool WritePatternAndTone(const std::string& folder, const std::string& name, int width, int height,
                         int lengthMs, bool video, bool audio, std::string* error) {
    const std::string times = "@0-" + std::to_string(lengthMs) + "ms";
    std::vector<std::string> args;
    if (video) {
        args.push_back("v:lavfi:testsrc2=size=" + std::to_string(width) + "x" +
                       std::to_string(height) + ":rate=25" + times);
        args.insert(args.end(), {"--video-codec", "ffv1"});
    }
    if (audio) {
        args.push_back("a:lavfi:sine=frequency=440:sample_rate=8000" + times);
        args.insert(args.end(), {"--audio-codec", "pcm_s16le", "--channels", "1"});
    }
    args.insert(args.end(), {"--quiet", "-o", folder + "/" + name});
    ScratchFolder scratch;
    const ProcessResult run = RunFeedcat(args, scratch);
    if (run.status != 0) {
        *error = "writing " + name + " failed: " + run.err;
        return false;
    }
    return true;
}

}  // namespace feedcat_test
