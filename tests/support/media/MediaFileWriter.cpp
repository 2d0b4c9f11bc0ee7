#include "tests/support/media/MediaFileWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/FFmpegHolders.h"
#include "media/NewPicture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace testmedia {
namespace {

// Stores `value` (-1 to 1) as sample `i` of `channel` in a frame of any sample format.
void StoreSample(AVFrame* frame, int i, int channel, double value) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const int size = av_get_bytes_per_sample(format);
    std::uint8_t* at = av_sample_fmt_is_planar(format) != 0
                           ? frame->extended_data[channel] + static_cast<std::ptrdiff_t>(i) * size
                           : frame->extended_data[0] +
                                 (static_cast<std::ptrdiff_t>(i) * channels + channel) * size;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8: {
            const auto v = static_cast<std::uint8_t>(std::lround(128 + value * 127));
            std::memcpy(at, &v, 1);
            break;
        }
        case AV_SAMPLE_FMT_S16: {
            const auto v = static_cast<std::int16_t>(std::lround(value * 32767));
            std::memcpy(at, &v, 2);
            break;
        }
        case AV_SAMPLE_FMT_S32: {
            const auto v = static_cast<std::int32_t>(std::lround(value * 2147483647.0));
            std::memcpy(at, &v, 4);
            break;
        }
        case AV_SAMPLE_FMT_S64: {
            const auto v = static_cast<std::int64_t>(std::llround(value * 9.2e18));
            std::memcpy(at, &v, 8);
            break;
        }
        case AV_SAMPLE_FMT_FLT: {
            const auto v = static_cast<float>(value);
            std::memcpy(at, &v, 4);
            break;
        }
        case AV_SAMPLE_FMT_DBL:
            std::memcpy(at, &value, 8);
            break;
        default:
            break;
    }
}

// `from` converted to `format` at the same size, pixel for pixel.
media::FramePtr Converted(const AVFrame* from, AVPixelFormat format) {
    media::FramePtr to = media::NewPicture(format, from->width, from->height);
    media::ScalerPtr scaler(
        sws_getContext(from->width, from->height, static_cast<AVPixelFormat>(from->format),
                       from->width, from->height, format, SWS_POINT, nullptr, nullptr, nullptr));
    if (!to || !scaler ||
        sws_scale(scaler.get(), from->data, from->linesize, 0, from->height, to->data,
                  to->linesize) < 0) {
        return nullptr;
    }
    return to;
}

class Writer {
  public:
    explicit Writer(std::string* error) : error_(error) {}

    bool Write(const std::string& path, const MediaFile& file) {
        AVFormatContext* created = nullptr;
        if (avformat_alloc_output_context2(&created, nullptr, file.muxer.c_str(), path.c_str()) <
                0 ||
            created == nullptr) {
            return Fail("no muxer " + file.muxer);
        }
        output_.reset(created);
        output_->output_ts_offset = file.clockStartUs;
        if ((file.video != nullptr && !AddVideo(*file.video)) ||
            (file.audio != nullptr && !AddAudio(*file.audio))) {
            return false;
        }
        if (avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
            avformat_write_header(output_.get(), nullptr) < 0) {
            return Fail("cannot start " + path + " as " + file.muxer);
        }
        packet_.reset(av_packet_alloc());
        if (!packet_) {
            return Fail("no packet");
        }
        const VideoTrack* video = file.video;
        const AudioTrack* audio = file.audio;
        std::size_t nextPicture = 0;
        std::int64_t nextSample = 0;
        for (;;) {
            const bool picturesLeft = video != nullptr && nextPicture < video->times.size();
            const bool samplesLeft = audio != nullptr && nextSample < audio->frames;
            if (!picturesLeft && !samplesLeft) {
                break;
            }
            bool pictureFirst = picturesLeft;
            if (picturesLeft && samplesLeft) {
                pictureFirst = av_compare_ts(video->times[nextPicture], video->timeBase, nextSample,
                                             audioCodec_->time_base) <= 0;
            }
            if (pictureFirst ? !EncodePicture(*video, nextPicture++)
                             : !EncodeSamples(*audio, &nextSample)) {
                return false;
            }
        }
        if ((videoCodec_ && !Send(videoCodec_.get(), videoStream_, nullptr)) ||
            (audioCodec_ && !Send(audioCodec_.get(), audioStream_, nullptr))) {
            return false;
        }
        if (av_write_trailer(output_.get()) < 0) {
            return Fail("cannot finish " + path);
        }
        return true;
    }

  private:
    bool Fail(const std::string& what) {
        *error_ = what;
        return false;
    }

    // Opens `codec` with `options`; every option it does not take is a fault of the recipe.
    bool Open(AVCodecContext* codec, const AVCodec* encoder, const EncoderOptions& options) {
        if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        media::Dictionary dictionary;
        for (const auto& [name, value] : options) {
            if (!dictionary.Set(name.c_str(), value.c_str())) {
                return Fail("no memory for options");
            }
        }
        if (avcodec_open2(codec, encoder, dictionary.address()) < 0) {
            return Fail(std::string("cannot open encoder ") + encoder->name);
        }
        const AVDictionaryEntry* unknown =
            av_dict_get(*dictionary.address(), "", nullptr, AV_DICT_IGNORE_SUFFIX);
        if (unknown != nullptr) {
            return Fail(std::string(encoder->name) + " has no option " + unknown->key);
        }
        return true;
    }

    AVStream* NewStream(const AVCodecContext* codec) {
        AVStream* stream = avformat_new_stream(output_.get(), nullptr);
        if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
            Fail("cannot add a stream");
            return nullptr;
        }
        stream->time_base = codec->time_base;
        return stream;
    }

    bool AddVideo(const VideoTrack& track) {
        const AVCodec* encoder = nullptr;
        for (const std::string& name : track.encoders) {
            encoder = avcodec_find_encoder_by_name(name.c_str());
            if (encoder != nullptr) {
                break;
            }
        }
        if (encoder == nullptr) {
            return Fail("no video encoder among " +
                        (track.encoders.empty() ? std::string("none") : track.encoders.front()));
        }
        videoCodec_.reset(avcodec_alloc_context3(encoder));
        if (!videoCodec_) {
            return Fail("no codec context");
        }
        AVCodecContext* codec = videoCodec_.get();
        codec->width = track.width;
        codec->height = track.height;
        codec->pix_fmt =
            track.encodeFormat != AV_PIX_FMT_NONE ? track.encodeFormat : track.pixelFormat;
        codec->time_base = track.timeBase;
        codec->framerate = track.frameRate;
        codec->sample_aspect_ratio = track.sampleAspectRatio;
        codec->gop_size = track.keyframeInterval;
        codec->max_b_frames = track.bFrames;
        codec->thread_count = 1;
        codec->colorspace = track.matrix;
        codec->color_primaries = track.primaries;
        codec->color_trc = track.transfer;
        codec->color_range = track.range;
        if (!Open(codec, encoder, track.options)) {
            return false;
        }
        videoStream_ = NewStream(codec);
        if (videoStream_ == nullptr) {
            return false;
        }
        videoStream_->time_base = track.timeBase;
        videoStream_->sample_aspect_ratio = track.sampleAspectRatio;
        if (track.frameRate.num > 0) {
            videoStream_->avg_frame_rate = track.frameRate;
        }
        if (track.coverArt) {
            videoStream_->disposition = AV_DISPOSITION_ATTACHED_PIC;
        }
        if (track.clockwiseRotation != 0) {
            auto* matrix = reinterpret_cast<std::int32_t*>(av_stream_new_side_data(
                videoStream_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
            if (matrix == nullptr) {
                return Fail("no display matrix");
            }
            // The matrix turns the picture clockwise to show it (FFmpeg reports -90 degrees
            // for a quarter turn clockwise, as for a phone held upright).
            av_display_rotation_set(matrix, track.clockwiseRotation);
        }
        for (std::size_t i = 0; i < track.times.size(); ++i) {
            durations_[track.times[i]] = track.durations.empty() ? 1 : track.durations[i];
        }
        return true;
    }

    bool AddAudio(const AudioTrack& track) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(track.encoder.c_str());
        if (encoder == nullptr || encoder->sample_fmts == nullptr) {
            return Fail("no audio encoder " + track.encoder);
        }
        audioCodec_.reset(avcodec_alloc_context3(encoder));
        if (!audioCodec_) {
            return Fail("no codec context");
        }
        AVCodecContext* codec = audioCodec_.get();
        codec->sample_rate = track.sampleRate;
        codec->sample_fmt = encoder->sample_fmts[0];
        if (track.layout.empty()) {
            av_channel_layout_default(&codec->ch_layout, track.channels);
        } else if (av_channel_layout_from_string(&codec->ch_layout, track.layout.c_str()) < 0) {
            return Fail("no channel layout " + track.layout);
        }
        codec->bit_rate = 128000;
        codec->time_base = AVRational{1, track.sampleRate};
        if (!Open(codec, encoder, track.options)) {
            return false;
        }
        audioStream_ = NewStream(codec);
        return audioStream_ != nullptr;
    }

    bool EncodePicture(const VideoTrack& track, std::size_t index) {
        media::FramePtr frame = media::NewPicture(track.pixelFormat, track.width, track.height);
        if (!frame) {
            return Fail("no picture");
        }
        track.paint(frame.get(), static_cast<int>(index));
        if (track.encodeFormat != AV_PIX_FMT_NONE) {
            frame = Converted(frame.get(), track.encodeFormat);
            if (!frame) {
                return Fail("cannot convert a picture for " + track.encoders.front());
            }
        }
        frame->pts = track.times[index];
        frame->sample_aspect_ratio = track.sampleAspectRatio;
        return Send(videoCodec_.get(), videoStream_, frame.get());
    }

    bool EncodeSamples(const AudioTrack& track, std::int64_t* next) {
        AVCodecContext* codec = audioCodec_.get();
        const int size = codec->frame_size > 0 ? codec->frame_size : 1024;
        const int count =
            track.wholeLastFrame
                ? size
                : static_cast<int>(std::min<std::int64_t>(size, track.frames - *next));
        media::FramePtr frame(av_frame_alloc());
        if (!frame) {
            return Fail("no samples");
        }
        frame->nb_samples = count;
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 ||
            av_frame_get_buffer(frame.get(), 0) < 0) {
            return Fail("no samples");
        }
        const int channels = codec->ch_layout.nb_channels;
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                StoreSample(frame.get(), i, c, track.sample(*next + i, c));
            }
        }
        frame->pts = *next;
        *next += count;
        return Send(codec, audioStream_, frame.get());
    }

    // Encodes `frame` (null: drains the encoder) and writes out what comes of it.
    bool Send(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        if (avcodec_send_frame(codec, frame) < 0) {
            return Fail(std::string("cannot encode with ") + codec->codec->name);
        }
        for (;;) {
            const int received = avcodec_receive_packet(codec, packet_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return true;
            }
            if (received < 0) {
                return Fail(std::string("encoder failed: ") + codec->codec->name);
            }
            if (codec == videoCodec_.get()) {
                const auto duration = durations_.find(packet_->pts);
                if (duration != durations_.end()) {
                    packet_->duration = duration->second;
                }
            }
            av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            if (av_interleaved_write_frame(output_.get(), packet_.get()) < 0) {
                return Fail("cannot write a packet");
            }
        }
    }

    std::string* error_;
    media::OutputFilePtr output_;
    media::CodecContextPtr videoCodec_;
    media::CodecContextPtr audioCodec_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    media::PacketPtr packet_;
    std::map<std::int64_t, std::int64_t> durations_;  // by picture time, in the codec time base
};

}  // namespace

bool WriteMediaFile(const std::string& path, const MediaFile& file, std::string* error) {
    return Writer(error).Write(path, file);
}

EncoderOptions FixedQuantiser(int quantiser) {
    return {{"flags", "+qscale"}, {"global_quality", std::to_string(FF_QP2LAMBDA * quantiser)}};
}

std::vector<std::int64_t> EvenTimes(int count) {
    std::vector<std::int64_t> times;
    for (int i = 0; i < count; ++i) {
        times.push_back(i);
    }
    return times;
}

double Sine(double hz, double rate, std::int64_t index) {
    return std::sin(2.0 * M_PI * hz * static_cast<double>(index) / rate);
}

}  // namespace testmedia
