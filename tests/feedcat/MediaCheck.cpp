#include "MediaCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "FeedcatProcess.h"
#include "media/FFmpegHolders.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace feedcat_test {
namespace {

struct Decoder {
    media::CodecContextPtr context;
    StreamReport* report = nullptr;
    std::int64_t endPts = 0;
    AVRational timeBase{1, 1};
};

int SwsMatrix(AVColorSpace matrix) {
    switch (matrix) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        default:
            return SWS_CS_ITU601;
    }
}

void ReadFirstPicture(const AVFrame* frame, MediaReport* media, StreamReport* stream) {
    stream->matrix = frame->colorspace;
    stream->primaries = frame->color_primaries;
    stream->transfer = frame->color_trc;
    stream->range = frame->color_range;
    const int x = frame->width / 2;
    const int y = frame->height / 2;
    if (frame->format == AV_PIX_FMT_YUV420P) {
        media->firstY = frame->data[0][y * frame->linesize[0] + x];
        media->firstCb = frame->data[1][(y / 2) * frame->linesize[1] + x / 2];
        media->firstCr = frame->data[2][(y / 2) * frame->linesize[2] + x / 2];
    }
    media::ScalerPtr scaler(sws_getContext(
        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
        frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
    if (!scaler) {
        return;
    }
    const int* table = sws_getCoefficients(SwsMatrix(frame->colorspace));
    sws_setColorspaceDetails(scaler.get(), table, frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                             table, 1, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(frame->width) * frame->height * 3);
    std::uint8_t* planes[4] = {rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {frame->width * 3, 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    const std::size_t at = (static_cast<std::size_t>(y) * frame->width + x) * 3;
    media->firstRed = rgb[at];
    media->firstGreen = rgb[at + 1];
    media->firstBlue = rgb[at + 2];
    media->firstRgb = std::move(rgb);
    media->firstWidth = frame->width;
    media->firstHeight = frame->height;
}

void Receive(Decoder* decoder, AVFrame* frame, MediaReport* media) {
    while (avcodec_receive_frame(decoder->context.get(), frame) == 0) {
        if (decoder->context->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (decoder->report->frames == 0) {
                ReadFirstPicture(frame, media, decoder->report);
            }
            ++decoder->report->frames;
        } else {
            decoder->report->sampleFrames += frame->nb_samples;
        }
        av_frame_unref(frame);
    }
}

}  // namespace

std::array<int, 3> MediaReport::RgbAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= firstWidth || y >= firstHeight) {
        return {-1, -1, -1};
    }
    const std::size_t at = (static_cast<std::size_t>(y) * firstWidth + x) * 3;
    return {firstRgb[at], firstRgb[at + 1], firstRgb[at + 2]};
}

const StreamReport* MediaReport::Find(const std::string& type) const {
    for (const StreamReport& stream : streams) {
        if (stream.type == type) {
            return &stream;
        }
    }
    return nullptr;
}

MediaReport ReadMedia(const std::string& path) {
    MediaReport media;
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) {
        return media;
    }
    media::InputPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return media;
    }
    media.opened = true;
    media.durationSeconds =
        input->duration != AV_NOPTS_VALUE ? input->duration / double(AV_TIME_BASE) : 0.0;
    media.streams.resize(input->nb_streams);
    std::map<int, Decoder> decoders;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        StreamReport& report = media.streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        report.type = av_get_media_type_string(parameters->codec_type) != nullptr
                          ? av_get_media_type_string(parameters->codec_type)
                          : "";
        report.codec = avcodec_get_name(parameters->codec_id);
        report.width = parameters->width;
        report.height = parameters->height;
        report.sampleRate = parameters->sample_rate;
        report.frameRate = stream->r_frame_rate;
        report.channels = parameters->ch_layout.nb_channels;
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        if (codec == nullptr) {
            continue;
        }
        Decoder decoder;
        decoder.context.reset(avcodec_alloc_context3(codec));
        if (!decoder.context ||
            avcodec_parameters_to_context(decoder.context.get(), parameters) < 0 ||
            avcodec_open2(decoder.context.get(), codec, nullptr) < 0) {
            continue;
        }
        decoder.report = &report;
        decoder.timeBase = stream->time_base;
        decoders.emplace(static_cast<int>(i), std::move(decoder));
    }
    media::PacketPtr packet(av_packet_alloc());
    media::FramePtr frame(av_frame_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const auto found = decoders.find(packet->stream_index);
        if (found != decoders.end()) {
            Decoder& decoder = found->second;
            if (packet->pts != AV_NOPTS_VALUE) {
                decoder.endPts = std::max(decoder.endPts, packet->pts + packet->duration);
            }
            decoder.report->packetBytes += packet->size;
            if (avcodec_send_packet(decoder.context.get(), packet.get()) >= 0) {
                Receive(&decoder, frame.get(), &media);
            }
        }
        av_packet_unref(packet.get());
    }
    for (auto& [index, decoder] : decoders) {
        avcodec_send_packet(decoder.context.get(), nullptr);
        Receive(&decoder, frame.get(), &media);
        const AVStream* stream = input->streams[index];
        const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        decoder.report->durationSeconds = (decoder.endPts - start) * av_q2d(decoder.timeBase);
    }
    return media;
}

void RunFeedcatAndRead(const std::vector<std::string>& args, const support::ScratchFolder& folder,
                       const std::string& output, MediaReport* media) {
    const ProcessResult run = RunFeedcat(args, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    *media = ReadMedia(folder.File(output));
    ASSERT_TRUE(media->opened) << output;
}

}  // namespace feedcat_test
