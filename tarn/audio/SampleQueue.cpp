#include "tarn/audio/SampleQueue.h"

#include <algorithm>

namespace tarn {

void SampleQueue::Append(OutputFrames position, const std::int16_t* samples, OutputFrames frames) {
    const std::int64_t channels = channels_;
    std::vector<std::int16_t>* target = &queue_;
    OutputFrames end = readPosition_ + Waiting();
    if (hasLater_) {
        target = &later_;
        end = laterPosition_ + OutputFrames(static_cast<std::int64_t>(later_.size()) / channels);
    } else if (position > end) {
        // Nothing decoded for the stretch before it: silence, handed out when read.
        hasLater_ = true;
        laterPosition_ = position;
        later_.clear();
        target = &later_;
        end = position;
    }
    if (position < end) {
        // Already handed out, already queued, or before the clip's start.
        const OutputFrames skip = std::min(end - position, frames);
        samples += skip.value * channels;
        frames -= skip;
    } else if (position > end) {
        // A further gap within one decoded frame's worth of audio: short, so stored.
        target->insert(target->end(), static_cast<std::size_t>((position - end).value * channels),
                       0);
    }
    target->insert(target->end(), samples, samples + frames.value * channels);
}

OutputFrames SampleQueue::Take(std::int16_t* out, OutputFrames frames) {
    const OutputFrames taken = std::min(frames, Waiting());
    const std::int16_t* first = queue_.data() + head_;
    std::copy(first, first + taken.value * channels_, out);
    head_ += static_cast<std::size_t>(taken.value * channels_);
    readPosition_ += taken;
    return taken;
}

OutputFrames SampleQueue::TakeSilence(std::int16_t* out, OutputFrames frames) {
    OutputFrames silence = frames;
    if (hasLater_) {
        silence = std::min(silence, laterPosition_ - readPosition_);
    }
    std::fill(out, out + silence.value * channels_, std::int16_t{0});
    readPosition_ += silence;
    if (hasLater_ && readPosition_ == laterPosition_) {
        queue_.insert(queue_.end(), later_.begin(), later_.end());
        later_.clear();
        hasLater_ = false;
    }
    return silence;
}

void SampleQueue::Compact() {
    if (head_ > 0 && head_ * 2 >= queue_.size()) {
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

}  // namespace tarn
