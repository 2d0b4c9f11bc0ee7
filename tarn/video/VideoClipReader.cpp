#include "tarn/video/VideoClipReader.h"
#include "tarn/TimeBase.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "media/FFmpegHolders.h"
#include "media/MediaInput.h"
#include "media/MediaStreams.h"
#include "tarn/StreamDecoder.h"
#include "tarn/video/FrameConverter.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
}

namespace tarn {

namespace {
// Shown length of a last frame whose duration neither the file nor its frame rate tells.
constexpr std::int64_t kFallbackFrameUnits = kUnitsPerSecond / 25;

// Decoder threads: one per core. FFmpeg's own choice is one more, which holds one more
// picture per decoder and, with the next clip's decoder prepared beside the playing one and
// the scaler on the same cores, gains no speed, only memory at the peak (bench/README.md).
int DecoderThreads() {
    return std::max(1, std::min(av_cpu_count(), 16));
}

std::int64_t FrameDurationUnits(const AVFrame* frame, AVRational timeBase) {
#if LIBAVUTIL_VERSION_MAJOR >= 58
    const std::int64_t duration = frame->duration;
#else
    const std::int64_t duration = frame->pkt_duration;
#endif
    return duration > 0 ? UnitsOf(duration, timeBase) : 0;
}
}  // namespace

struct VideoClipReader::State {
    explicit State(VideoClipSetup given) : clip(std::move(given)), converter(clip) {}

    // Whether the clip's timeline is stopping: decoding then gives up.
    bool Stopping() const {
        return clip.stopping != nullptr && clip.stopping->load(std::memory_order_relaxed);
    }
    // Opens the file and seeks to the keyframe before the in point; with skipToInPoint, frames
    // that nothing refers to are skipped up to the last stretch before it.
    void Open(bool skipToInPoint);
    // The in point on the stream's clock, in its time base.
    std::int64_t InPoint() const;
    // A source time on the stream's clock, in its time base, rounded down.
    std::int64_t OnStreamClock(std::int64_t sourceTime) const;
    void SkipToInPoint();
    void DecodeUpTo(std::int64_t sourceTime);
    // After the first decode up to the in point: should the frame to show there have been
    // skipped (a stream with a gap before the in point longer than the last stretch), the clip
    // is opened again and decoded in full.
    void MakeSureOfTheInPoint(std::int64_t sourceTime);
    bool IsShowing(std::int64_t sourceTime) const;
    // Writes the shown frame as output pixels into `frame` (black when it cannot be converted).
    void ConvertShown(std::uint8_t* frame);
    std::int64_t ShownEnd() const;

    VideoClipSetup clip;
    FrameConverter converter;
    std::size_t frameBytes = 0;

    bool opened = false;
    bool inPointChecked = false;
    bool still = false;                      // a single picture, shown for the whole clip
    std::unique_ptr<StreamDecoder> decoder;  // null when the file gives no pictures
    AVRational timeBase = {0, 1};
    std::int64_t origin = 0;  // source time 0 on the stream's clock, 100-ns units
    int rotation = 0;
    bool ended = false;  // the decoder has handed out its last frame

    // The frame shown for the last time asked (the latest at or before it) and the one
    // decoded after it, which is shown once its time comes. Times are source times.
    media::FramePtr shown;
    media::FramePtr ahead;
    bool hasShown = false;
    bool hasAhead = false;
    std::int64_t shownTime = 0;
    std::int64_t shownDuration = 0;  // 0 when the file does not tell
    std::int64_t aheadTime = 0;
    std::int64_t lastInterval = 0;  // between the two latest frames shown

    // A frame shown once (a source at the output's rate or faster) is converted straight into
    // the frame asked for. Once a frame has been asked for twice (a slower source), the shown
    // frame is kept converted here from then on, so that a repeat costs a copy rather than a
    // conversion.
    bool keepConverted = false;
    FrameBytes output;
    std::uint64_t shownSerial = 0;
    std::uint64_t convertedSerial = 0;
};

void VideoClipReader::State::Open(bool skipToInPoint) {
    opened = true;
    shown.reset(av_frame_alloc());
    ahead.reset(av_frame_alloc());
    if (!shown || !ahead || clip.name.empty()) {
        return;
    }
    decoder =
        StreamDecoder::Open(media::OpenInput(clip.name), AVMEDIA_TYPE_VIDEO, DecoderThreads());
    if (!decoder) {
        return;
    }
    const AVStream* stream = decoder->stream();
    timeBase = stream->time_base;
    origin = UnitsOf(media::SourceTimeOrigin(decoder->input()), AV_TIME_BASE_Q);
    rotation = media::ClockwiseRotation(stream);
    // An image file is one picture, shown for the whole clip, unless it holds several and
    // FFmpeg reads them one by one (a PNG file may): then they are a video at the stream's rate.
    still = media::IsStillImage(decoder->input()) &&
            (media::ReadsAsOnePicture(decoder->input()) || decoder->EndsAfterFirstFrame());
    if (still) {
        return;  // one picture: nothing to seek to
    }
    decoder->SeekBefore(InPoint());
    if (skipToInPoint) {
        SkipToInPoint();
    }
}

std::int64_t VideoClipReader::State::InPoint() const {
    return OnStreamClock(clip.sourceStart);
}

std::int64_t VideoClipReader::State::OnStreamClock(std::int64_t sourceTime) const {
    return av_rescale_q_rnd(ClampTime(sourceTime) + origin, kUnitTimeBase, timeBase, AV_ROUND_DOWN);
}

void VideoClipReader::State::SkipToInPoint() {
    decoder->SkipUnreferencedBefore(
        InPoint() - av_rescale_q(clip.fullDecodeBeforeStart, kUnitTimeBase, timeBase));
}

void VideoClipReader::State::MakeSureOfTheInPoint(std::int64_t sourceTime) {
    if (inPointChecked || !decoder || sourceTime < clip.sourceStart) {
        return;
    }
    inPointChecked = true;
    if (Stopping() || !decoder->skippedAny() ||
        (hasShown && shownTime >= clip.sourceStart - clip.fullDecodeBeforeStart)) {
        return;
    }
    decoder.reset();
    hasShown = false;
    hasAhead = false;
    ended = false;
    Open(false);
    if (decoder) {
        DecodeUpTo(sourceTime);
    }
}

void VideoClipReader::State::DecodeUpTo(std::int64_t sourceTime) {
    for (;;) {
        if (Stopping()) {
            return;
        }
        if (!hasAhead) {
            if (ended || !decoder->Next(ahead.get())) {
                ended = true;
                return;
            }
            std::int64_t timestamp = ahead->best_effort_timestamp;
            if (timestamp == AV_NOPTS_VALUE) {
                timestamp = ahead->pts;
            }
            // A frame without a time follows the one before it. A still picture is shown from
            // the start of the clip, however early that is.
            aheadTime = still                         ? -kTimeLimit
                        : timestamp != AV_NOPTS_VALUE ? UnitsOf(timestamp, timeBase) - origin
                                                      : (hasShown ? ShownEnd() : 0);
            hasAhead = true;
        }
        if (aheadTime > sourceTime) {
            return;
        }
        if (hasShown && aheadTime > shownTime) {
            lastInterval = aheadTime - shownTime;
        }
        std::swap(shown, ahead);
        av_frame_unref(ahead.get());
        hasAhead = false;
        hasShown = true;
        shownTime = aheadTime;
        shownDuration = FrameDurationUnits(shown.get(), timeBase);
        ++shownSerial;
        if (still) {
            // Its first picture alone; it may carry its own turn (a JPEG's EXIF orientation).
            rotation = media::ClockwiseRotation(decoder->stream(), shown.get());
            ended = true;
            return;
        }
    }
}

// Where the shown frame stops being shown when no frame follows it: its own duration, else
// the spacing of the frames before it, else the stream's frame rate.
std::int64_t VideoClipReader::State::ShownEnd() const {
    std::int64_t duration = shownDuration > 0 ? shownDuration : lastInterval;
    if (duration <= 0) {
        const AVStream* stream = decoder->stream();
        const AVRational rate = media::StreamFrameRate(stream);
        duration =
            rate.num > 0 ? av_rescale_q(1, av_inv_q(rate), kUnitTimeBase) : kFallbackFrameUnits;
    }
    return shownTime + duration;
}

bool VideoClipReader::State::IsShowing(std::int64_t sourceTime) const {
    if (!hasShown) {
        return false;  // before the file's first frame
    }
    // Past the end of the last frame the clip is black; a still picture has no end.
    return still || !(ended && !hasAhead && sourceTime >= ShownEnd());
}

void VideoClipReader::State::ConvertShown(std::uint8_t* frame) {
    const AVRational sar =
        av_guess_sample_aspect_ratio(decoder->input(), decoder->stream(), shown.get());
    if (!converter.Convert(shown.get(), sar, rotation, frame)) {
        std::memset(frame, 0, frameBytes);
    }
}

VideoClipReader::VideoClipReader(VideoClipSetup given) : state_(new State(std::move(given))) {
    const VideoClipSetup& clip = state_->clip;
    if (clip.outputWidth > 0 && clip.outputHeight > 0) {
        state_->frameBytes = static_cast<std::size_t>(clip.outputWidth) *
                             static_cast<std::size_t>(clip.outputHeight) * 4;
    }
}

VideoClipReader::~VideoClipReader() = default;

void VideoClipReader::Prepare() {
    State& state = *state_;
    if (state.frameBytes == 0) {
        return;
    }
    if (!state.opened) {
        state.Open(true);
    }
    if (state.decoder) {
        state.DecodeUpTo(state.clip.sourceStart);
        state.MakeSureOfTheInPoint(state.clip.sourceStart);
    }
}

bool VideoClipReader::MoveTo(std::int64_t sourceStart) {
    State& state = *state_;
    // Image files are read from their start, not sought in.
    if (!state.decoder || state.still || media::IsStillImage(state.decoder->input())) {
        return false;
    }
    state.clip.sourceStart = sourceStart;
    if (!state.decoder->SeekAgain(state.InPoint())) {
        return false;
    }
    state.SkipToInPoint();
    state.inPointChecked = false;
    state.ended = false;
    state.hasShown = false;
    state.hasAhead = false;
    state.lastInterval = 0;
    ++state.shownSerial;  // whatever was converted belongs to the frames before
    return true;
}

void VideoClipReader::SkipUnreferencedBefore(std::int64_t sourceTime) {
    State& state = *state_;
    if (state.decoder && !state.still) {
        state.decoder->SkipUnreferencedBefore(state.OnStreamClock(sourceTime));
    }
}

void VideoClipReader::Render(std::int64_t sourceTime, std::uint8_t* frame) {
    State& state = *state_;
    if (frame == nullptr || state.frameBytes == 0) {
        return;
    }
    if (!state.opened) {
        state.Open(true);
    }
    if (state.decoder) {
        state.DecodeUpTo(sourceTime);
        state.MakeSureOfTheInPoint(sourceTime);
    }
    if (!state.decoder || !state.IsShowing(sourceTime)) {
        std::memset(frame, 0, state.frameBytes);
        return;
    }
    const bool repeat = state.convertedSerial == state.shownSerial;
    if (repeat && !state.keepConverted) {
        state.keepConverted = true;
        state.convertedSerial = 0;  // converted into a frame handed on, not kept: again
    }
    if (!state.keepConverted) {
        state.ConvertShown(frame);
        state.convertedSerial = state.shownSerial;
        return;
    }
    if (state.convertedSerial != state.shownSerial) {
        state.output.resize(state.frameBytes);
        state.ConvertShown(state.output.data());
        state.convertedSerial = state.shownSerial;
    }
    std::memcpy(frame, state.output.data(), state.frameBytes);
}

}  // namespace tarn
