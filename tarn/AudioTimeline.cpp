#include "tarn/AudioTimeline.h"
#include "tarn/TimeBase.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarn {

AudioTimeline::AudioTimeline(std::vector<ClipData> clips, std::int32_t rate, std::int32_t channels)
    : clips_(std::move(clips)), channels_(channels), grid_(rate) {
    std::int64_t length = 0;
    for (const ClipData& clip : clips_) {
        length = std::max(length, clip.timelineStop);
    }
    totalFrames_ = grid_.SampleAt(length);
    for (const ClipData& clip : clips_) {
        sampleStart_.push_back(grid_.SampleAt(clip.timelineStart));
        sampleEnd_.push_back(grid_.SampleAt(clip.timelineStop));
    }
    const auto blockAlign = static_cast<std::uint16_t>(channels * 2);
    record_ = {1,
               static_cast<std::uint16_t>(channels),
               static_cast<std::uint32_t>(rate),
               static_cast<std::uint32_t>(rate) * blockAlign,
               blockAlign,
               16,
               0};
}

bool AudioTimeline::Next(Chunk& out) {
    if (next_ >= totalFrames_ || stopping_.load(std::memory_order_relaxed)) {
        reader_.reset();
        preparer_.Discard();
        return false;
    }
    const std::int64_t first = next_;
    const std::int64_t end = std::min(totalFrames_, first + grid_.BufferFrames());
    out.start = grid_.TimeOf(first);
    out.duration = grid_.TimeOf(end) - out.start;
    out.bytes.resize(static_cast<std::size_t>(end - first) * static_cast<std::size_t>(channels_) *
                     2);
    auto* samples = reinterpret_cast<std::int16_t*>(out.bytes.data());
    for (std::int64_t position = first; position < end;) {
        const std::int64_t filled =
            FillFrom(position, end - position, samples + (position - first) * channels_);
        position += filled;
    }
    next_ = end;
    return true;
}

std::int64_t AudioTimeline::FillFrom(std::int64_t position, std::int64_t count, std::int16_t* out) {
    // Clips are placed by sample index, so that a clip's samples and its neighbour's meet
    // exactly, whatever the rounding of their times.
    while (cursor_ < clips_.size() && sampleEnd_[cursor_] <= position) {
        ++cursor_;
    }
    int clip = -1;
    std::int64_t gapEnd = position + count;
    for (std::size_t i = cursor_; i < clips_.size(); ++i) {
        if (sampleStart_[i] > position) {
            gapEnd = std::min(gapEnd, sampleStart_[i]);
            break;
        }
        if (position < sampleEnd_[i]) {
            clip = static_cast<int>(i);
            break;
        }
    }
    if (clip < 0) {
        std::memset(out, 0, static_cast<std::size_t>((gapEnd - position) * channels_) * 2);
        return gapEnd - position;
    }
    const std::size_t index = static_cast<std::size_t>(clip);
    if (clip != openClip_) {
        OpenClip(index, position);
    }
    const std::int64_t frames = std::min(count, sampleEnd_[index] - position);
    reader_->Read(out, frames);
    preparer_.BeginScheduled([this](int later) {
        const auto clip = static_cast<std::size_t>(later);
        return MakeReader(clip, sampleStart_[clip]);
    });
    return frames;
}

std::unique_ptr<AudioClipReader> AudioTimeline::MakeReader(std::size_t clip,
                                                           std::int64_t position) const {
    const ClipData& data = clips_[clip];
    AudioClipSetup setup;
    setup.name = data.name;
    // Entered later than its first sample, the clip is read as one that starts there: both
    // starts move alike, so the same source sample plays at each timeline sample. The time
    // of a sample falls back on the same sample.
    const std::int64_t entered = grid_.TimeOf(position);
    setup.timelineStart = entered;
    setup.sourceStart =
        ClampTime(data.sourceStart) + (ClampTime(entered) - ClampTime(data.timelineStart));
    setup.outputRate = static_cast<std::int32_t>(record_.nSamplesPerSec);
    setup.outputChannels = channels_;
    setup.stopping = &stopping_;
    return std::make_unique<AudioClipReader>(std::move(setup));
}

void AudioTimeline::OpenClip(std::size_t clip, std::int64_t position) {
    // The last clip's file is closed before the one after the next is opened.
    reader_.reset();
    openClip_ = static_cast<int>(clip);
    if (position == sampleStart_[clip]) {
        reader_ = preparer_.Take(openClip_);
    }
    if (!reader_) {
        reader_ = MakeReader(clip, position);
    }
    // The next clip that holds a sample; it is entered at its first.
    int next = -1;
    for (std::size_t later = clip + 1; later < clips_.size(); ++later) {
        if (sampleEnd_[later] > sampleStart_[later]) {
            next = static_cast<int>(later);
            break;
        }
    }
    preparer_.Schedule(next);
}

}  // namespace tarn
