#include "tarn/audio/AudioClipReader.h"
#include "tarn/TimeBase.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <numeric>
#include <utility>
#include <vector>

#include "media/AudioGranule.h"
#include "media/FFmpegHolders.h"
#include "media/MediaInput.h"
#include "media/MediaStreams.h"
#include "tarn/StreamDecoder.h"
#include "tarn/audio/AudioPlacement.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

namespace tarn {

namespace {
// Decoded from this far before the clip's start, so that codecs which build each frame on the
// one before it (AAC, MP3, Vorbis) are settled when the clip starts; the extra is cut away.
constexpr std::int64_t kPrerollUnits = kUnitsPerSecond / 5;

// Jumps in the source's timestamps smaller than this are taken as rounding (Matroska stores
// milliseconds) and the audio as continuous; larger ones are gaps that read as silence.
constexpr std::int64_t kGapUnits = kUnitsPerSecond / 50;

// a / b rounded towards minus infinity (b > 0).
std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
    const std::int64_t quotient = a / b;
    return (a % b != 0 && a < 0) ? quotient - 1 : quotient;
}

// The samples a decoder asks to drop from a frame (it reports them instead of trimming, see
// StreamDecoder::Open): at its start (codec delay, priming; may run on into the next frames)
// and at its end (padding).
struct Trim {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool told = false;
};

Trim TrimOf(const AVFrame* frame) {
    const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_SKIP_SAMPLES);
    if (side == nullptr || side->size < 10) {
        return Trim{};
    }
    return Trim{AV_RL32(side->data), AV_RL32(side->data + 4), true};
}

// How far, in sample frames, a time rounded to a time base of `tick` sample frames may lie from
// the place it stands for: a muxer may round twice.
std::int64_t RoundingReach(std::int64_t tick) {
    return 2 * tick;
}

// The decoder's output as the resampler was set up for it.
struct SourceFormat {
    int sampleFormat = -1;
    int sampleRate = 0;
    media::ChannelLayout layout;

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
    // Where `timestamp` (of a packet, in the stream's time base) lies, in source samples at
    // `rate`.
    std::int64_t TimePosition(std::int64_t timestamp, int rate) const;
    // How many samples at `rate` a tick of the stream's time base lasts, rounded up.
    std::int64_t Tick(int rate) const;
    // Places the new resampler's first output for the source sample `first` (at `rate`).
    void AlignResampler(std::int64_t first, int rate);
    // Trims a decoded frame as its decoder asks and places it.
    void Resample(const AVFrame* frame);
    // Places `kept` samples of `frame` from its `dropStart`-th on; its time puts the frame's
    // start at `rough` (when timed). Held while a run of coarsely timed frames is being placed.
    void Route(const AVFrame* frame, std::int64_t dropStart, std::int64_t kept, bool timed,
               std::int64_t rough);
    // Holds a frame of the run being placed; false when it does not belong to the run.
    bool Hold(const AVFrame* frame, std::int64_t dropStart, std::int64_t kept, std::int64_t rough);
    // Places the frames held, from where the run's times together put it.
    void PlaceHeld();
    // Resamples `kept` samples of `frame` from its `dropStart`-th on, the first of them at
    // source sample `first` (when timed).
    void Place(const AVFrame* frame, std::int64_t dropStart, std::int64_t kept, bool timed,
               std::int64_t first);
    // Resamples `count` sample frames of `frame` from its `offset`-th on.
    void Feed(const AVFrame* frame, std::int64_t offset, std::int64_t count);
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
    media::FramePtr frame;
    bool ended = false;

    // Positions count output sample frames on the source's clock: 0 is source time 0.
    std::int64_t origin = 0;        // source time 0 on the stream's clock, 100-ns units
    std::int64_t readPosition = 0;  // of the next sample frame Read hands out

    media::ResamplerPtr resampler;
    SourceFormat source;
    std::int64_t resamplerStart = 0;   // position of the resampler's first output
    std::int64_t resamplerOutput = 0;  // sample frames it has produced since then
    std::int64_t resamplerInput = 0;   // source sample the resampler's next input belongs at
    std::vector<std::int16_t> converted;
    std::vector<const std::uint8_t*> inputPlanes;

    // Source samples count the source's own sample frames at its own rate: 0 is source time 0.
    // Every packet starts on the grid, from the stream's first packet on (when it is known).
    PacketGrid grid;
    std::int64_t pendingSkip = 0;  // samples still to drop from the start of the next frames

    // A run of frames with coarse times, held until their place is settled (see
    // AudioPlacement.h): each with the samples it keeps.
    struct HeldFrame {
        media::FramePtr frame;
        std::int64_t dropStart = 0;
        std::int64_t kept = 0;
    };
    std::vector<HeldFrame> held;
    RunPlacement run;

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
    decoder = StreamDecoder::Open(media::OpenInput(clip.name), AVMEDIA_TYPE_AUDIO, 1);
    if (!decoder) {
        return;
    }
    origin = UnitsOf(media::SourceTimeOrigin(decoder->input()), AV_TIME_BASE_Q);
    const AVStream* stream = decoder->stream();
    const AVRational timeBase = stream->time_base;
    const std::int64_t first = decoder->FirstPacketTime();
    const int rate = stream->codecpar->sample_rate;
    const std::int64_t granule = media::AudioGranule(stream->codecpar);
    if (first != AV_NOPTS_VALUE && rate > 0 && rate <= kMaxSourceSampleRate && granule > 0) {
        grid = PacketGrid{rate, TimePosition(first, rate), granule};
        // A stream whose first packet lies one codec delay before 0 (as Matroska keeps Opus)
        // starts its sound at 0 exactly; a time rounded to the time base says so only roughly.
        const std::int64_t delayed = -stream->codecpar->initial_padding -
                                     av_rescale_q(origin, kUnitTimeBase, AVRational{1, rate});
        if (stream->codecpar->initial_padding > 0 &&
            std::abs(grid.origin - delayed) <=
                std::min(RoundingReach(Tick(rate)), (granule - 1) / 2)) {
            grid.origin = delayed;
        }
    }
    decoder->SeekBefore(av_rescale_q_rnd(ClampTime(clip.sourceStart) - kPrerollUnits + origin,
                                         kUnitTimeBase, timeBase, AV_ROUND_DOWN));
}

bool AudioClipReader::State::StartResampler(const AVFrame* decoded) {
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
    av_channel_layout_default(output.get(), clip.outputChannels);

    SwrContext* created = nullptr;
    if (swr_alloc_set_opts2(&created, output.get(), AV_SAMPLE_FMT_S16, clip.outputRate, input.get(),
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

std::int64_t AudioClipReader::State::TimePosition(std::int64_t timestamp, int rate) const {
    const AVRational timeBase = decoder->stream()->time_base;
    const AVRational sampleTime = {1, rate};
    return ClampTime(av_rescale_q(timestamp, timeBase, sampleTime)) -
           av_rescale_q(origin, kUnitTimeBase, sampleTime);
}

std::int64_t AudioClipReader::State::Tick(int rate) const {
    const AVRational timeBase = decoder->stream()->time_base;
    return av_rescale_rnd(timeBase.num, rate, timeBase.den, AV_ROUND_UP);
}

void AudioClipReader::State::AlignResampler(std::int64_t first, int rate) {
    // The resampler's outputs fall every 1/outputRate s from its first input on. Started on a
    // source sample whose time is a whole output sample (every rate / gcd samples), they fall
    // on the output's own grid, wherever decoding started; the few samples before `first` are
    // silence.
    const std::int64_t period = rate / std::gcd(rate, clip.outputRate);
    const std::int64_t aligned = FloorDivide(first, period) * period;
    resamplerStart = av_rescale(aligned, clip.outputRate, rate);
    resamplerOutput = 0;
    resamplerInput = aligned;
    if (first > aligned) {
        swr_inject_silence(resampler.get(), static_cast<int>(first - aligned));
        resamplerInput = first;
    }
}

void AudioClipReader::State::Resample(const AVFrame* decoded) {
    if ((decoded->flags & AV_FRAME_FLAG_DISCARD) != 0 || decoded->nb_samples <= 0) {
        return;  // wholly before the stream's start (an edit list cuts it)
    }
    const Trim trim = TrimOf(decoded);
    const std::int64_t samples = decoded->nb_samples;
    const std::int64_t skip = trim.told && trim.start > 0 ? trim.start : pendingSkip;
    const std::int64_t dropStart = std::min(skip, samples);
    pendingSkip = skip - dropStart;
    const std::int64_t kept = samples - dropStart - std::min(trim.end, samples - dropStart);
    if (kept <= 0) {
        return;
    }

    std::int64_t timestamp = decoded->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE) {
        timestamp = decoded->pts;
    }
    const int rate = decoded->sample_rate;
    const bool timed = timestamp != AV_NOPTS_VALUE && rate > 0;
    // Where the frame starts by its timestamp, in source samples.
    Route(decoded, dropStart, kept, timed, timed ? TimePosition(timestamp, rate) : 0);
}

void AudioClipReader::State::Route(const AVFrame* decoded, std::int64_t dropStart,
                                   std::int64_t kept, bool timed, std::int64_t rough) {
    const int rate = decoded->sample_rate;
    const std::int64_t tick = timed ? Tick(rate) : 0;
    // The first frame, or the first after a gap, starts a run; with times coarser than a sample
    // the run is placed by the times of its frames together.
    const bool starts = !resampler || rough + dropStart - resamplerInput >
                                          av_rescale(kGapUnits, rate, kUnitsPerSecond);
    if (tick > 1 && starts) {
        if (!Hold(decoded, dropStart, kept, rough)) {
            PlaceHeld();  // the frame does not go on from the run: it is placed after it
            Route(decoded, dropStart, kept, timed, rough);
        }
        return;
    }
    // A time base coarser than a sample (Matroska counts milliseconds) places a packet only to
    // within a tick or so. A decoder that ran from the stream's first packet would have put it
    // on the grid: the nearest place of it, when it is that near, is where it belongs.
    Place(decoded, dropStart, kept, timed,
          timed ? grid.Snap(rough, rate, RoundingReach(tick)) + dropStart : 0);
}

bool AudioClipReader::State::Hold(const AVFrame* decoded, std::int64_t dropStart, std::int64_t kept,
                                  std::int64_t rough) {
    const int rate = decoded->sample_rate;
    if (held.empty()) {
        FlushResampler();  // the sound before a gap ends there
        run.Start(rough, decoded->nb_samples, rate, RoundingReach(Tick(rate)));
    } else if (!run.Take(rough, decoded->nb_samples, rate)) {
        return false;
    }
    media::FramePtr copy(av_frame_clone(decoded));
    if (!copy) {
        throw std::bad_alloc();
    }
    held.push_back(HeldFrame{std::move(copy), dropStart, kept});
    if (run.Settled(grid)) {
        PlaceHeld();
    }
    return true;
}

void AudioClipReader::State::PlaceHeld() {
    if (held.empty()) {
        return;
    }
    std::int64_t start = run.Place(grid);  // of the first frame held
    for (const HeldFrame& frame : held) {
        Place(frame.frame.get(), frame.dropStart, frame.kept, true, start + frame.dropStart);
        start += frame.frame->nb_samples;
    }
    held.clear();
}

void AudioClipReader::State::Place(const AVFrame* decoded, std::int64_t dropStart,
                                   std::int64_t kept, bool timed, std::int64_t first) {
    const int rate = decoded->sample_rate;
    bool continued = false;  // a new resampler goes on where the last one stopped
    if (resampler) {
        const bool gap =
            timed && first - resamplerInput > av_rescale(kGapUnits, rate, kUnitsPerSecond);
        if (gap || !source.Matches(decoded)) {
            FlushResampler();
            continued = !gap;  // new format, same clock
        }
    } else if (!timed) {
        continued = true;
    }
    if (!resampler) {
        const std::int64_t output = resamplerStart + resamplerOutput;
        if (!StartResampler(decoded)) {
            return;
        }
        if (continued) {
            resamplerStart = output;
            resamplerOutput = 0;
            resamplerInput = av_rescale(output, rate, clip.outputRate);
        } else {
            AlignResampler(first, rate);
        }
    }
    Feed(decoded, dropStart, kept);
    resamplerInput += kept;
}

void AudioClipReader::State::Feed(const AVFrame* decoded, std::int64_t offset, std::int64_t count) {
    const auto format = static_cast<AVSampleFormat>(decoded->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = decoded->ch_layout.nb_channels;
    const std::int64_t step =
        static_cast<std::int64_t>(av_get_bytes_per_sample(format)) * (planar ? 1 : channels);
    inputPlanes.assign(static_cast<std::size_t>(planar ? channels : 1), nullptr);
    for (std::size_t plane = 0; plane < inputPlanes.size(); ++plane) {
        inputPlanes[plane] = decoded->extended_data[plane] + offset * step;
    }
    const int room = swr_get_out_samples(resampler.get(), static_cast<int>(count));
    if (room <= 0) {
        return;
    }
    converted.resize(static_cast<std::size_t>(room) * clip.outputChannels);
    std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(converted.data())};
    const int made =
        swr_convert(resampler.get(), out, room, inputPlanes.data(), static_cast<int>(count));
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
            PlaceHeld();
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
        // The timeline's first sample, and how far the source lies ahead of the timeline,
        // rounded each on its own: adjoining clips of one file share the second.
        const auto samples = [&](std::int64_t time) {
            return ClampTime(
                av_rescale_rnd(time, clip.outputRate, kUnitsPerSecond, AV_ROUND_NEAR_INF));
        };
        const std::int64_t timelineStart = ClampTime(clip.timelineStart);
        state_->readPosition = ClampTime(samples(timelineStart) +
                                         samples(ClampTime(clip.sourceStart) - timelineStart));
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

}  // namespace tarn
