#include "tarn/VideoTimeline.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarn {

VideoTimeline::VideoTimeline(std::vector<ClipData> clips, std::int32_t width, std::int32_t height,
                             FrameGrid grid)
    : clips_(std::move(clips)), width_(width), height_(height), grid_(grid) {
    std::int64_t length = 0;
    for (const ClipData& clip : clips_) {
        length = std::max(length, clip.timelineStop);
    }
    frameCount_ = grid_.FrameCount(length);
    const auto frameBytes =
        static_cast<std::uint32_t>(width_) * static_cast<std::uint32_t>(height_) * 4;
    record_ = {40, width_, height_, 1, 32, 0, frameBytes, 0, 0, 0, 0};
}

std::unique_ptr<VideoClipReader> VideoTimeline::MakeReader(int clip) const {
    const ClipData& data = clips_[static_cast<std::size_t>(clip)];
    VideoClipSetup setup;
    setup.name = data.name;
    setup.sourceStart = data.sourceStart;
    setup.sourceStop = data.sourceStop;
    setup.crop = data.crop;
    setup.mode = data.clipMode == 1   ? ClipMode::Fit
                 : data.clipMode == 2 ? ClipMode::Fill
                                      : ClipMode::Stretch;
    setup.barColour = static_cast<std::uint32_t>(data.clipParam);
    setup.outputWidth = width_;
    setup.outputHeight = height_;
    setup.stopping = &stopping_;
    return std::make_unique<VideoClipReader>(std::move(setup));
}

int VideoTimeline::ClipAfter(int clip) const {
    for (std::size_t later = static_cast<std::size_t>(clip) + 1; later < clips_.size(); ++later) {
        // The first frame starting at or after the clip's start.
        const std::int64_t first = grid_.FrameCount(clips_[later].timelineStart);
        if (first < frameCount_ && grid_.FrameStart(first) < clips_[later].timelineStop) {
            return static_cast<int>(later);
        }
    }
    return -1;
}

void VideoTimeline::OpenClip(int clip) {
    // The last clip's file is closed before the one after the next is opened.
    reader_.reset();
    openClip_ = clip;
    if (clip < 0) {
        return;
    }
    reader_ = preparer_.Take(clip);
    if (!reader_) {
        reader_ = MakeReader(clip);
    }
    preparer_.Schedule(ClipAfter(clip));
}

bool VideoTimeline::Next(Chunk& out) {
    if (next_ >= frameCount_ || stopping_.load(std::memory_order_relaxed)) {
        reader_.reset();
        preparer_.Discard();
        return false;
    }
    const std::int64_t start = grid_.FrameStart(next_);
    out.start = start;
    out.duration = grid_.FrameStart(next_ + 1) - start;
    out.bytes.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
    ++next_;

    const int clip = FindClipAt(clips_, start, &cursor_);
    if (clip != openClip_) {
        OpenClip(clip);
    }
    if (reader_) {
        const ClipData& data = clips_[static_cast<std::size_t>(clip)];
        reader_->Render(data.sourceStart + (start - data.timelineStart), out.bytes.data());
        preparer_.BeginScheduled([this](int later) { return MakeReader(later); });
    } else {
        std::memset(out.bytes.data(), 0, out.bytes.size());
    }
    return true;
}

}  // namespace tarn
