#include "tarn/audio/AudioClipReader.h"
#include "tarn/TimeBase.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "media/FFmpegHolders.h"
#include "media/MediaInput.h"
#include "media/MediaStreams.h"
#include "tarn/StreamDecoder.h"
#include "tarn/audio/AlignedResampler.h"
#include "tarn/audio/AudioPlacement.h"
#include "tarn/audio/SampleQueue.h"
#include "tarn/audio/SourceSampleClock.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarn {

namespace {
// Decoded from this far before the clip's start, so that codecs which build each frame on the
// one before it (AAC, MP3, Vorbis) are settled when the clip starts; the extra is cut away.
constexpr std::int64_t kPrerollUnits = kUnitsPerSecond / 5;
}  // namespace

// Decodes the clip's file, places each decoded frame on the source's sample clock, resamples it
// onto the output's grid and queues it for Read.
struct AudioClipReader::State {
    explicit State(AudioClipSetup given)
        : clip(std::move(given)),
          resampler(clip.outputRate, clip.outputChannels),
          queue(clip.outputChannels) {}

    void Open();
    // Decodes until at least `wanted` sample frames wait in the queue, a gap has been met
    // (decoded audio waits after it), or the audio has ended.
    void Fill(OutputFrames wanted);
    // Trims a decoded frame as its decoder asks and places it.
    void Resample(const AVFrame* frame);
    // Places the `kept` samples of `frame`; its time puts the frame's start at `rough` (when
    // timed). Held while a run of coarsely timed frames is being placed.
    void Route(const AVFrame* frame, KeptSamples kept, bool timed, SourceSamples rough);
    // Holds a frame of the run being placed; false when it does not belong to the run.
    bool Hold(const AVFrame* frame, KeptSamples kept, SourceSamples rough);
    // Places the frames held, from where the run's times together put it.
    void PlaceHeld();
    // Resamples the `kept` samples of `frame`, the first of them at source sample `first`
    // (when timed).
    void Place(const AVFrame* frame, KeptSamples kept, bool timed, SourceSamples first);

    AudioClipSetup clip;
    bool valid = false;  // output rate and channel count usable
    bool opened = false;
    std::unique_ptr<StreamDecoder> decoder;  // null when the file gives no sound
    media::FramePtr frame;
    bool ended = false;

    SourceSampleClock clock;
    AlignedResampler resampler;
    SampleQueue queue;

    // A run of frames with coarse times, held until their place is settled (see
    // AudioPlacement.h): each with the samples it keeps.
    struct HeldFrame {
        media::FramePtr frame;
        KeptSamples kept;
    };
    std::vector<HeldFrame> held;
    RunPlacement run;
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
    const Units origin(UnitsOf(media::SourceTimeOrigin(decoder->input()), AV_TIME_BASE_Q));
    clock.Start(decoder->stream(), origin, decoder->FirstPacketTime());
    decoder->SeekBefore(av_rescale_q_rnd(ClampTime(clip.sourceStart) - kPrerollUnits + origin.value,
                                         kUnitTimeBase, decoder->stream()->time_base,
                                         AV_ROUND_DOWN));
}

void AudioClipReader::State::Resample(const AVFrame* decoded) {
    if ((decoded->flags & AV_FRAME_FLAG_DISCARD) != 0 || decoded->nb_samples <= 0) {
        return;  // wholly before the stream's start (an edit list cuts it)
    }
    const KeptSamples kept = resampler.Trim(decoded);
    if (kept.kept.value <= 0) {
        return;
    }

    std::int64_t timestamp = decoded->best_effort_timestamp;
    if (timestamp == AV_NOPTS_VALUE) {
        timestamp = decoded->pts;
    }
    const int rate = decoded->sample_rate;
    const bool timed = timestamp != AV_NOPTS_VALUE && rate > 0;
    // Where the frame starts by its timestamp, in source samples.
    Route(decoded, kept, timed, timed ? clock.Position(timestamp, rate) : SourceSamples(0));
}

void AudioClipReader::State::Route(const AVFrame* decoded, KeptSamples kept, bool timed,
                                   SourceSamples rough) {
    const int rate = decoded->sample_rate;
    const SourceSamples tick = timed ? clock.Tick(rate) : SourceSamples(0);
    // The first frame, or the first after a gap, starts a run; with times coarser than a sample
    // the run is placed by the times of its frames together.
    const bool starts = !resampler.running() || rough + kept.dropStart - resampler.nextInput() >
                                                    SourceSampleClock::GapAt(rate);
    if (tick.value > 1 && starts) {
        if (!Hold(decoded, kept, rough)) {
            PlaceHeld();  // the frame does not go on from the run: it is placed after it
            Route(decoded, kept, timed, rough);
        }
        return;
    }
    // A time base coarser than a sample (Matroska counts milliseconds) places a packet only to
    // within a tick or so. A decoder that ran from the stream's first packet would have put it
    // on the grid: the nearest place of it, when it is that near, is where it belongs.
    const SourceSamples first =
        timed ? clock.Snap(rough, rate, tick) + kept.dropStart : SourceSamples(0);
    Place(decoded, kept, timed, first);
}

bool AudioClipReader::State::Hold(const AVFrame* decoded, KeptSamples kept, SourceSamples rough) {
    const int rate = decoded->sample_rate;
    if (held.empty()) {
        resampler.Flush(&queue);  // the sound before a gap ends there
        run.Start(rough, SourceSamples(decoded->nb_samples), rate,
                  SourceSampleClock::RoundingReach(clock.Tick(rate)));
    } else if (!run.Take(rough, SourceSamples(decoded->nb_samples), rate)) {
        return false;
    }
    media::FramePtr copy(av_frame_clone(decoded));
    if (!copy) {
        throw std::bad_alloc();
    }
    held.push_back(HeldFrame{std::move(copy), kept});
    if (run.Settled(clock.grid())) {
        PlaceHeld();
    }
    return true;
}

void AudioClipReader::State::PlaceHeld() {
    if (held.empty()) {
        return;
    }
    SourceSamples start = run.Place(clock.grid());  // of the first frame held
    for (const HeldFrame& frame : held) {
        Place(frame.frame.get(), frame.kept, true, start + frame.kept.dropStart);
        start += SourceSamples(frame.frame->nb_samples);
    }
    held.clear();
}

void AudioClipReader::State::Place(const AVFrame* decoded, KeptSamples kept, bool timed,
                                   SourceSamples first) {
    const int rate = decoded->sample_rate;
    bool continued = false;  // a new resampler goes on where the last one stopped
    if (resampler.running()) {
        const bool gap = timed && first - resampler.nextInput() > SourceSampleClock::GapAt(rate);
        if (gap || !resampler.Matches(decoded)) {
            resampler.Flush(&queue);
            continued = !gap;  // new format, same clock
        }
    } else if (!timed) {
        continued = true;
    }
    if (!resampler.running()) {
        if (!resampler.Start(decoded)) {
            return;
        }
        if (continued) {
            resampler.Continue(rate);
        } else {
            resampler.Align(first, rate);
        }
    }
    resampler.Feed(decoded, kept.dropStart, kept.kept, &queue);
}

void AudioClipReader::State::Fill(OutputFrames wanted) {
    while (!ended && !queue.hasLater() && queue.Waiting() < wanted) {
        if (clip.stopping != nullptr && clip.stopping->load(std::memory_order_relaxed)) {
            break;
        }
        if (!decoder->Next(frame.get())) {
            PlaceHeld();
            resampler.Flush(&queue);
            ended = true;
            break;
        }
        Resample(frame.get());
        av_frame_unref(frame.get());
    }
    queue.Compact();
}

AudioClipReader::AudioClipReader(AudioClipSetup given) : state_(new State(std::move(given))) {
    const AudioClipSetup& clip = state_->clip;
    state_->valid = clip.outputRate > 0 && clip.outputChannels >= 1 && clip.outputChannels <= 8;
    if (state_->valid) {
        // The timeline's first sample, and how far the source lies ahead of the timeline,
        // rounded each on its own: adjoining clips of one file share the second.
        const auto frames = [&](Units time) {
            return OutputFrames(ClampTime(OutputFramesNearest(time, clip.outputRate).value));
        };
        const Units timelineStart(ClampTime(clip.timelineStart));
        const Units sourceStart(ClampTime(clip.sourceStart));
        const OutputFrames first = frames(timelineStart) + frames(sourceStart - timelineStart);
        state_->queue.StartAt(OutputFrames(ClampTime(first.value)));
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
        state.Fill(OutputFrames(std::max(1, state.clip.outputRate / 100)));
    }
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
    const OutputFrames wanted(frames);
    OutputFrames done(0);
    while (done < wanted) {
        if (state.decoder) {
            state.Fill(wanted - done);
        }
        done += state.queue.Take(out + done.value * channels, wanted - done);
        if (done == wanted) {
            break;
        }
        // The queue ran dry: silence up to the audio decoded for later, or to the end of this
        // read when the file has no more.
        done += state.queue.TakeSilence(out + done.value * channels, wanted - done);
    }
}

}  // namespace tarn
