#include "tarn/audio/AlignedResampler.h"

#include <algorithm>
#include <numeric>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/intreadwrite.h>
#include <libswresample/swresample.h>
}

namespace tarn {

namespace {
// The samples a decoder asks to drop from a frame: at its start (codec delay, priming) and at
// its end (padding).
struct SkipRequest {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool told = false;
};

SkipRequest SkipRequestOf(const AVFrame* frame) {
    const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_SKIP_SAMPLES);
    if (side == nullptr || side->size < 10) {
        return SkipRequest{};
    }
    return SkipRequest{AV_RL32(side->data), AV_RL32(side->data + 4), true};
}
}  // namespace

KeptSamples AlignedResampler::Trim(const AVFrame* frame) {
    const SkipRequest request = SkipRequestOf(frame);
    const std::int64_t samples = frame->nb_samples;
    const std::int64_t skip =
        request.told && request.start > 0 ? request.start : pendingSkip_.value;
    const std::int64_t dropStart = std::min(skip, samples);
    pendingSkip_ = SourceSamples(skip - dropStart);
    const std::int64_t kept = samples - dropStart - std::min(request.end, samples - dropStart);
    return KeptSamples{SourceSamples(dropStart), SourceSamples(kept)};
}

bool AlignedResampler::Matches(const AVFrame* frame) const {
    return frame->format == source_.sampleFormat && frame->sample_rate == source_.sampleRate &&
           av_channel_layout_compare(source_.layout.get(), &frame->ch_layout) == 0;
}

bool AlignedResampler::Start(const AVFrame* decoded) {
    // A damaged header can claim rates or channel counts no real audio has; building a
    // resampler for them takes the resampler minutes. Such a clip plays as silence.
    if (decoded->sample_rate < 1 || decoded->sample_rate > kMaxSourceSampleRate ||
        decoded->ch_layout.nb_channels < 1 || decoded->ch_layout.nb_channels > kMaxSourceChannels) {
        return false;
    }
    media::ChannelLayout input;
    if (decoded->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(input.get(), decoded->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(input.get(), &decoded->ch_layout) < 0) {
        return false;
    }
    media::ChannelLayout output;
    av_channel_layout_default(output.get(), outputChannels_);

    SwrContext* created = nullptr;
    if (swr_alloc_set_opts2(&created, output.get(), AV_SAMPLE_FMT_S16, outputRate_, input.get(),
                            static_cast<AVSampleFormat>(decoded->format), decoded->sample_rate, 0,
                            nullptr) < 0) {
        swr_free(&created);
        return false;
    }
    media::ResamplerPtr context(created);
    // Mono into a layout without a centre speaker (stereo, quad, ...) goes to the front left
    // and right at full level, as one voice heard from the middle; FFmpeg's own mix would
    // lower it by 3 dB.
    const bool frontPair =
        av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_LEFT) >= 0 &&
        av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_RIGHT) >= 0;
    if (input.get()->nb_channels == 1 && frontPair &&
        av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_CENTER) < 0) {
        std::vector<double> matrix(static_cast<std::size_t>(outputChannels_), 0.0);
        matrix[av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_LEFT)] = 1.0;
        matrix[av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_RIGHT)] = 1.0;
        if (swr_set_matrix(context.get(), matrix.data(), 1) < 0) {
            return false;
        }
    }
    if (swr_init(context.get()) < 0) {
        return false;
    }
    context_ = std::move(context);
    source_.sampleFormat = decoded->format;
    source_.sampleRate = decoded->sample_rate;
    av_channel_layout_uninit(source_.layout.get());
    return av_channel_layout_copy(source_.layout.get(), &decoded->ch_layout) >= 0;
}

void AlignedResampler::Align(SourceSamples first, int rate) {
    // The resampler's outputs fall every 1/outputRate s from its first input on. Started on a
    // source sample whose time is a whole output sample (every rate / gcd samples), they fall
    // on the output's own grid, wherever decoding started; the few samples before `first` are
    // silence.
    const std::int64_t period = rate / std::gcd(rate, outputRate_);
    const SourceSamples aligned(FloorDivide(first.value, period) * period);
    start_ = OutputFramesNearest(aligned, rate, outputRate_);
    output_ = OutputFrames(0);
    input_ = aligned;
    if (first > aligned) {
        swr_inject_silence(context_.get(), static_cast<int>((first - aligned).value));
        input_ = first;
    }
}

void AlignedResampler::Continue(int rate) {
    start_ += output_;
    output_ = OutputFrames(0);
    input_ = SourceSamplesNearest(start_, outputRate_, rate);
}

void AlignedResampler::Feed(const AVFrame* decoded, SourceSamples offset, SourceSamples count,
                            SampleQueue* queue) {
    input_ += count;
    const auto format = static_cast<AVSampleFormat>(decoded->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = decoded->ch_layout.nb_channels;
    const std::int64_t step =
        static_cast<std::int64_t>(av_get_bytes_per_sample(format)) * (planar ? 1 : channels);
    inputPlanes_.assign(static_cast<std::size_t>(planar ? channels : 1), nullptr);
    for (std::size_t plane = 0; plane < inputPlanes_.size(); ++plane) {
        inputPlanes_[plane] = decoded->extended_data[plane] + offset.value * step;
    }
    const int room = swr_get_out_samples(context_.get(), static_cast<int>(count.value));
    if (room <= 0) {
        return;
    }
    converted_.resize(static_cast<std::size_t>(room) * outputChannels_);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(converted_.data())};
    Deliver(
        swr_convert(context_.get(), out, room, inputPlanes_.data(), static_cast<int>(count.value)),
        queue);
}

void AlignedResampler::Flush(SampleQueue* queue) {
    if (!context_) {
        return;
    }
    const int room = swr_get_out_samples(context_.get(), 0);
    if (room > 0) {
        converted_.resize(static_cast<std::size_t>(room) * outputChannels_);
        std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(converted_.data())};
        Deliver(swr_convert(context_.get(), out, room, nullptr, 0), queue);
    }
    context_.reset();
}

void AlignedResampler::Deliver(int made, SampleQueue* queue) {
    if (made > 0) {
        queue->Append(start_ + output_, converted_.data(), OutputFrames(made));
        output_ += OutputFrames(made);
    }
}

}  // namespace tarn
