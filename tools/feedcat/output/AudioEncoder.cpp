#include "output/AudioEncoder.h"

#include "media/ErrorText.h"
#include "output/EncoderDrain.h"

#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace feedcat {
using media::ErrorText;

namespace {

// s16 when the encoder takes it, else its first format.
AVSampleFormat ChooseSampleFormat(const AVCodec* codec) {
    if (codec->sample_fmts == nullptr) {
        return AV_SAMPLE_FMT_S16;
    }
    for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE;
         ++format) {
        if (*format == AV_SAMPLE_FMT_S16) {
            return *format;
        }
    }
    return codec->sample_fmts[0];
}

// The delivered channel count when the encoder takes it, else the first layout it takes (G.722
// and GSM are mono only): the resampler mixes the channels down.
void ChooseLayout(const AVCodec* codec, std::int32_t channels, AVChannelLayout* layout) {
    if (codec->ch_layouts != nullptr && codec->ch_layouts[0].nb_channels > 0) {
        for (const AVChannelLayout* taken = codec->ch_layouts; taken->nb_channels > 0; ++taken) {
            if (taken->nb_channels == channels) {
                av_channel_layout_copy(layout, taken);
                return;
            }
        }
        av_channel_layout_copy(layout, &codec->ch_layouts[0]);
        return;
    }
    av_channel_layout_default(layout, channels);
}

// Encoders without a fixed frame size still get frames of this many samples.
constexpr int kVariableFrameSize = 1024;

// rate when the encoder takes it; else the lowest rate it takes above rate, else its highest.
std::int32_t EncoderRate(const AVCodec* codec, std::int32_t rate) {
    if (codec->supported_samplerates == nullptr) {
        return rate;
    }
    std::int32_t above = 0;
    std::int32_t highest = 0;
    for (const int* supported = codec->supported_samplerates; *supported != 0; ++supported) {
        if (*supported == rate) {
            return rate;
        }
        if (*supported > rate && (above == 0 || *supported < above)) {
            above = *supported;
        }
        highest = std::max(highest, *supported);
    }
    return above != 0 ? above : highest;
}

}  // namespace

bool AudioEncoder::Open(const AVCodec* codec, std::int32_t deliveredRate, std::int32_t channels,
                        const QualitySettings& quality, bool globalHeader, std::string* error) {
    const std::int32_t sampleRate = EncoderRate(codec, deliveredRate);
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
        *error = "out of memory";
        return false;
    }
    context_->sample_fmt = ChooseSampleFormat(codec);
    context_->sample_rate = sampleRate;
    ChooseLayout(codec, channels, &context_->ch_layout);
    context_->time_base = AVRational{1, sampleRate};
    ApplyAudioQuality(quality, context_.get());
    if (globalHeader) {
        context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const int opened = avcodec_open2(context_.get(), codec, nullptr);
    if (opened < 0) {
        *error = std::string("cannot open audio encoder '") + codec->name + "' at " +
                 std::to_string(sampleRate) + " Hz: " + ErrorText(opened);
        context_.reset();
        return false;
    }
    const bool variable = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    frameSize_ =
        (variable || context_->frame_size <= 0) ? kVariableFrameSize : context_->frame_size;
    fifo_.reset(
        av_audio_fifo_alloc(context_->sample_fmt, context_->ch_layout.nb_channels, frameSize_ * 4));
    if (!fifo_) {
        *error = "out of memory";
        return false;
    }
    return true;
}

void AudioEncoder::SetStartMs(std::int32_t positionMs) {
    nextPts_ = av_rescale(positionMs, context_->sample_rate, 1000);
}

bool AudioEncoder::SetUpResampler(std::int32_t rate, std::int32_t channels) {
    AVChannelLayout inputLayout = {};
    av_channel_layout_default(&inputLayout, channels);
    SwrContext* resampler = nullptr;
    const int set = swr_alloc_set_opts2(&resampler, &context_->ch_layout, context_->sample_fmt,
                                        context_->sample_rate, &inputLayout, AV_SAMPLE_FMT_S16,
                                        rate, 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    resampler_.reset(resampler);
    if (set < 0 || swr_init(resampler_.get()) < 0) {
        resampler_.reset();
        return false;
    }
    inputRate_ = rate;
    inputChannels_ = channels;
    return true;
}

bool AudioEncoder::Add(const std::uint8_t* samples, std::int32_t sampleFrames, std::int32_t rate,
                       std::int32_t channels, const PacketSink& sink) {
    failure_ = "resampling audio failed";  // unless a later step says otherwise
    if (!resampler_ || rate != inputRate_ || channels != inputChannels_) {
        if (!SetUpResampler(rate, channels)) {
            return false;
        }
    }
    const int capacity = swr_get_out_samples(resampler_.get(), sampleFrames);
    if (capacity < 0) {
        return false;
    }
    std::uint8_t** converted = nullptr;
    int lineSize = 0;
    if (av_samples_alloc_array_and_samples(&converted, &lineSize, context_->ch_layout.nb_channels,
                                           std::max(capacity, 1), context_->sample_fmt, 0) < 0) {
        return false;
    }
    const std::uint8_t* input[1] = {samples};
    const int produced = swr_convert(resampler_.get(), converted, capacity, input, sampleFrames);
    bool ok = produced >= 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted),
                                                   produced) == produced;
    av_freep(&converted[0]);
    av_freep(&converted);
    if (ok) {
        failure_.clear();
    }
    while (ok && av_audio_fifo_size(fifo_.get()) >= frameSize_) {
        ok = EncodeFromFifo(frameSize_, sink);
    }
    return ok;
}

bool AudioEncoder::EncodeFromFifo(int frames, const PacketSink& sink) {
    const bool small = (context_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0 ||
                       (context_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    const int size = (frames < frameSize_ && !small) ? frameSize_ : frames;
    av_frame_unref(frame_.get());
    frame_->format = context_->sample_fmt;
    frame_->sample_rate = context_->sample_rate;
    frame_->nb_samples = size;
    if (av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0 ||
        av_frame_get_buffer(frame_.get(), 0) < 0) {
        return Failed("encoding audio", AVERROR(ENOMEM));
    }
    // A short last frame for an encoder that needs full ones is padded with silence.
    av_samples_set_silence(frame_->extended_data, 0, size, context_->ch_layout.nb_channels,
                           context_->sample_fmt);
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->extended_data), frames) !=
        frames) {
        return false;
    }
    frame_->pts = nextPts_;
    nextPts_ += frames;
    const int sent = avcodec_send_frame(context_.get(), frame_.get());
    if (sent < 0) {
        return Failed("encoding audio", sent);
    }
    return Drain(sink);
}

bool AudioEncoder::Flush(const PacketSink& sink) {
    if (resampler_) {
        // What the resampler still holds (nothing when only the format changes).
        const int pending = swr_get_out_samples(resampler_.get(), 0);
        if (pending > 0) {
            std::uint8_t** converted = nullptr;
            int lineSize = 0;
            if (av_samples_alloc_array_and_samples(&converted, &lineSize,
                                                   context_->ch_layout.nb_channels, pending,
                                                   context_->sample_fmt, 0) < 0) {
                return false;
            }
            const int produced = swr_convert(resampler_.get(), converted, pending, nullptr, 0);
            bool ok = produced >= 0 &&
                      av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted),
                                          produced) == produced;
            av_freep(&converted[0]);
            av_freep(&converted);
            if (!ok) {
                return false;
            }
        }
    }
    while (av_audio_fifo_size(fifo_.get()) > 0) {
        if (!EncodeFromFifo(std::min(av_audio_fifo_size(fifo_.get()), frameSize_), sink)) {
            return false;
        }
    }
    const int sent = avcodec_send_frame(context_.get(), nullptr);
    if (sent < 0) {
        return Failed("finishing the audio", sent);
    }
    return Drain(sink);
}

bool AudioEncoder::Drain(const PacketSink& sink) {
    int code = 0;
    return DrainPackets(context_.get(), packet_.get(), sink, &code) ||
           Failed("encoding audio", code);
}

bool AudioEncoder::Failed(const char* step, int code) {
    failure_ = code < 0 ? std::string(step) + " failed in '" + context_->codec->name +
                              "': " + ErrorText(code)
                        : "";
    return false;
}

}  // namespace feedcat
