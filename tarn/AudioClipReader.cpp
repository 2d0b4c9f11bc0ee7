#include "tarn/AudioClipReader.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "tarn/FFmpegHolders.h"
#include "tarn/MediaInput.h"
#include "tarn/MediaStreams.h"
#include "tarn/StreamDecoder.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {
// Decoded from this far before the clip's start, so that codecs which build each frame on the
// one before it (AAC, MP3, Vorbis) are settled when the clip starts; the extra is cut away.
constexpr std::int64_t kPrerollTicks = kTicksPerSecond / 5;

// Jumps in the source's timestamps smaller than this are taken as rounding (Matroska stores
// milliseconds) and the audio as continuous; larger ones are gaps that read as silence.
constexpr std::int64_t kGapTicks = kTicksPerSecond / 50;

// The decoder's output as the resampler was set up for it.
struct SourceFormat {
    int sampleFormat = -1;
    int sampleRate = 0;
    ChannelLayout layout;

    bool Matches(const AVFrame* frame) const {
        return frame->format == sampleFormat && frame->sample_rate == sampleRate &&
               av_channel_layout_compare(layout.get(), &frame->ch_layout) == 0;
    }
};
}  // namespace

// The largest source formats the reader resamples: above every real recording format, far
// below what would make the resampler's set-up take minutes.
constexpr int kMaxSourceSampleRate = 768000;
constexpr int kMaxSourceChannels = 64;

struct AudioClipReader::State {
    explicit State(AudioClipSetup given) : clip(std::move(given)) {}

    void Open();
    // Decodes until at least `wanted` sample frames wait in the queue, a gap has been met
    // (decoded audio waits in `later`), or the audio has ended.
    void Fill(std::int64_t wanted);
    // Hands out up to `frames` sample frames from the queue; how many.
    std::int64_t TakeQueued(std::int16_t* out, std::int64_t frames);
    bool StartResampler(const AVFrame* frame);
    void Resample(const AVFrame* frame);
    void FlushResampler();
    // Adds `frames` converted sample frames that belong at output position `position`.
    void Append(std::int64_t position, const std::int16_t* samples, std::int64_t frames);
    std::int64_t Waiting() const {
        return static_cast<std::int64_t>(queue.size() - queueHead) / clip.outputChannels;
    }

    AudioClipSetup clip;
    bool valid = false;  // output rate and channel count usable
    bool opened = false;
    std::unique_ptr<StreamDecoder> decoder;  // null when the file gives no sound
    FramePtr frame;
    bool ended = false;

    // Positions count output sample frames on the source's clock: 0 is source time 0.
    std::int64_t origin = 0;        // source time 0 on the stream's clock, 100-ns units
    std::int64_t readPosition = 0;  // of the next sample frame Read hands out

    ResamplerPtr resampler;
    SourceFormat source;
    std::int64_t resamplerStart = 0;   // position of the resampler's first output
    std::int64_t resamplerOutput = 0;  // sample frames it has produced since then
    std::vector<std::int16_t> converted;

    // Sample frames from readPosition on, interleaved; consumed from queueHead.
    std::vector<std::int16_t> queue;
    std::size_t queueHead = 0;

    // Decoded audio that starts after the queue ends (the file's audio starts after the clip
    // does, or has a gap). The silence up to it is handed out as it is read, never stored, so a
    // clip that starts an hour before its audio costs no memory.
    std::vector<std::int16_t> later;
    std::int64_t laterPosition = 0;
    bool hasLater = false;
};

void AudioClipReader::State::Open() {
    opened = true;
    frame.reset(av_frame_alloc());
    if (!frame || clip.name.empty()) {
        return;
    }
    decoder = StreamDecoder::Open(OpenInput(clip.name), AVMEDIA_TYPE_AUDIO, 1);
    if (!decoder) {
        return;
    }
    origin = SourceTimeOrigin(decoder->input());
    const AVRational timeBase = decoder->stream()->time_base;
    decoder->SeekBefore(av_rescale_q_rnd(ClampTime(clip.sourceStart) - kPrerollTicks + origin,
                                         kTickTimeBase, timeBase, AV_ROUND_DOWN));
}

bool AudioClipReader::State::StartResampler(const AVFrame* decoded) {
    // A damaged header can claim rates or channel counts no real audio has; building a
    // resampler for them takes the resampler minutes. Such a clip plays as silence.
    if (decoded->sample_rate < 1 || decoded->sample_rate > kMaxSourceSampleRate ||
        decoded->ch_layout.nb_channels < 1 || decoded->ch_layout.nb_channels > kMaxSourceChannels) {
        return false;
    }
    ChannelLayout input;
    if (decoded->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(input.get(), decoded->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(input.get(), &decoded->ch_layout) < 0) {
        return false;
    }
    ChannelLayout output;
    av_channel_layout_default(output.get(), clip.outputChannels);

    SwrContext* created = nullptr;
    if (swr_alloc_set_opts2(&created, output.get(), AV_SAMPLE_FMT_S16, clip.outputRate, input.get(),
                            static_cast<AVSampleFormat>(decoded->format), decoded->sample_rate, 0,
                            nullptr) < 0) {
        swr_free(&created);
        return false;
    }
    ResamplerPtr context(created);
    // Mono into a layout without a centre speaker (stereo, quad, ...) goes to the front left
    // and right at full level, as one voice heard from the middle; FFmpeg's own mix would
    // lower it by 3 dB.
    const bool frontPair =
        av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_LEFT) >= 0 &&
        av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_RIGHT) >= 0;
    if (input.get()->nb_channels == 1 && frontPair &&
        av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_CENTER) < 0) {
        std::vector<double> matrix(static_cast<std::size_t>(clip.outputChannels), 0.0);
        matrix[av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_LEFT)] = 1.0;
        matrix[av_channel_layout_index_from_channel(output.get(), AV_CHAN_FRONT_RIGHT)] = 1.0;
        if (swr_set_matrix(context.get(), matrix.data(), 1) < 0) {
            return false;
        }
    }
    if (swr_init(context.get()) < 0) {
        return false;
    }
    resampler = std::move(context);
    source.sampleFormat = decoded->format;
    source.sampleRate = decoded->sample_rate;
    av_channel_layout_uninit(source.layout.get());
    return av_channel_layout_copy(source.layout.get(), &decoded->ch_layout) >= 0;
}

void AudioClipReader::State::Append(std::int64_t position, const std::int16_t* samples,
                                    std::int64_t frames) {
    const std::int64_t channels = clip.outputChannels;
    std::vector<std::int16_t>* target = &queue;
    std::int64_t end = readPosition + Waiting();
    if (hasLater) {
        target = &later;
        end = laterPosition + static_cast<std::int64_t>(later.size()) / channels;
    } else if (position > end) {
        // Nothing decoded for the stretch before it: silence, handed out when read.
        hasLater = true;
        laterPosition = position;
        later.clear();
        target = &later;
        end = position;
    }
    if (position < end) {
        // Already handed out, already queued, or before the clip's start.
        const std::int64_t skip = std::min(end - position, frames);
        samples += skip * channels;
        frames -= skip;
    } else if (position > end) {
        // A further gap within one decoded frame's worth of audio: short, so stored.
        target->insert(target->end(), static_cast<std::size_t>((position - end) * channels), 0);
    }
    target->insert(target->end(), samples, samples + frames * channels);
}

void AudioClipReader::State::Resample(const AVFrame* decoded) {
    std::int64_t timestamp = decoded->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE) {
        timestamp = decoded->pts;
    }
    const AVRational timeBase = decoder->stream()->time_base;
    const AVRational sampleTime = {1, clip.outputRate};
    // Where this frame's first sample belongs, by its timestamp.
    std::int64_t position = 0;
    if (timestamp != AV_NOPTS_VALUE) {
        position = ClampTime(av_rescale_q(timestamp, timeBase, sampleTime)) -
                   av_rescale_q(origin, kTickTimeBase, sampleTime);
    }
    if (resampler) {
        const std::int64_t expected =
            resamplerStart + resamplerOutput + swr_get_delay(resampler.get(), clip.outputRate);
        const bool gap =
            timestamp != AV_NOPTS_VALUE &&
            position - expected > av_rescale(kGapTicks, clip.outputRate, kTicksPerSecond);
        if (gap || !source.Matches(decoded)) {
            FlushResampler();
            if (!gap) {
                position = resamplerStart + resamplerOutput;  // new format, same clock
            }
        }
    } else if (timestamp == AV_NOPTS_VALUE) {
        position = resamplerStart + resamplerOutput;
    }
    if (!resampler) {
        if (!StartResampler(decoded)) {
            return;
        }
        resamplerStart = position;
        resamplerOutput = 0;
    }
    const int room = swr_get_out_samples(resampler.get(), decoded->nb_samples);
    if (room <= 0) {
        return;
    }
    converted.resize(static_cast<std::size_t>(room) * clip.outputChannels);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(converted.data())};
    const int made =
        swr_convert(resampler.get(), out, room,
                    const_cast<const std::uint8_t**>(decoded->extended_data), decoded->nb_samples);
    if (made > 0) {
        Append(resamplerStart + resamplerOutput, converted.data(), made);
        resamplerOutput += made;
    }
}

// Hands out what the resampler still holds and ends it; the next frame starts a new one.
void AudioClipReader::State::FlushResampler() {
    if (!resampler) {
        return;
    }
    const int room = swr_get_out_samples(resampler.get(), 0);
    if (room > 0) {
        converted.resize(static_cast<std::size_t>(room) * clip.outputChannels);
        std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(converted.data())};
        const int made = swr_convert(resampler.get(), out, room, nullptr, 0);
        if (made > 0) {
            Append(resamplerStart + resamplerOutput, converted.data(), made);
            resamplerOutput += made;
        }
    }
    resampler.reset();
}

void AudioClipReader::State::Fill(std::int64_t wanted) {
    while (!ended && !hasLater && Waiting() < wanted) {
        if (clip.stopping != nullptr && clip.stopping->load(std::memory_order_relaxed)) {
            break;
        }
        if (!decoder->Next(frame.get())) {
            FlushResampler();
            ended = true;
            break;
        }
        Resample(frame.get());
        av_frame_unref(frame.get());
    }
    // Everything before queueHead has been handed out; drop it once it is the larger part.
    if (queueHead > 0 && queueHead * 2 >= queue.size()) {
        queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(queueHead));
        queueHead = 0;
    }
}

AudioClipReader::AudioClipReader(AudioClipSetup given) : state_(new State(std::move(given))) {
    const AudioClipSetup& clip = state_->clip;
    state_->valid = clip.outputRate > 0 && clip.outputChannels >= 1 && clip.outputChannels <= 8;
    if (state_->valid) {
        state_->readPosition = ClampTime(av_rescale_rnd(
            ClampTime(clip.sourceStart), clip.outputRate, kTicksPerSecond, AV_ROUND_NEAR_INF));
    }
}

AudioClipReader::~AudioClipReader() = default;

void AudioClipReader::Prepare() {
    State& state = *state_;
    if (!state.valid) {
        return;
    }
    if (!state.opened) {
        state.Open();
    }
    if (state.decoder) {
        // One 10 ms buffer: enough to have sought and settled the decoder.
        state.Fill(std::max<std::int64_t>(1, state.clip.outputRate / 100));
    }
}

std::int64_t AudioClipReader::State::TakeQueued(std::int16_t* out, std::int64_t frames) {
    const std::int64_t taken = std::min(frames, Waiting());
    const std::int16_t* first = queue.data() + queueHead;
    std::copy(first, first + taken * clip.outputChannels, out);
    queueHead += static_cast<std::size_t>(taken * clip.outputChannels);
    readPosition += taken;
    return taken;
}

void AudioClipReader::Read(std::int16_t* out, std::int64_t frames) {
    State& state = *state_;
    const std::int64_t channels = state.clip.outputChannels;
    if (out == nullptr || frames <= 0 || channels < 1 || channels > 8) {
        return;  // no telling how large the buffer is
    }
    if (!state.valid) {
        std::fill(out, out + frames * channels, std::int16_t{0});
        return;
    }
    if (!state.opened) {
        state.Open();
    }
    std::int64_t done = 0;
    while (done < frames) {
        if (state.decoder) {
            state.Fill(frames - done);
        }
        done += state.TakeQueued(out + done * channels, frames - done);
        if (done == frames) {
            break;
        }
        // The queue ran dry: silence up to the audio decoded for later, or to the end of this
        // read when the file has no more.
        std::int64_t silence = frames - done;
        if (state.hasLater) {
            silence = std::min(silence, state.laterPosition - state.readPosition);
        }
        std::fill(out + done * channels, out + (done + silence) * channels, std::int16_t{0});
        done += silence;
        state.readPosition += silence;
        if (state.hasLater && state.readPosition == state.laterPosition) {
            state.queue.insert(state.queue.end(), state.later.begin(), state.later.end());
            state.later.clear();
            state.hasLater = false;
        }
    }
}
