#include "tarn/VideoFrameReader.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

#include "tarn/PixelPacker.h"
#include "tarn/TimeBase.h"

namespace tarn {

VideoFrameReader::VideoFrameReader(VideoFrameSetup setup) : setup_(std::move(setup)) {
    frameBytes_ =
        static_cast<std::int64_t>(setup_.width) * setup_.height * BytesPerPixel(setup_.format);
}

VideoFrameReader::~VideoFrameReader() = default;

void VideoFrameReader::Read(const std::int64_t* frames, std::int32_t count, std::uint8_t* out) {
    // The frames in presentation order, each with the first place asked for it.
    std::vector<std::int32_t> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [frames](std::int32_t a, std::int32_t b) { return frames[a] < frames[b]; });
    std::int32_t first = -1;  // the place the current frame was drawn into
    for (const std::int32_t place : order) {
        std::uint8_t* target = out + static_cast<std::int64_t>(place) * frameBytes_;
        if (first >= 0 && frames[first] == frames[place]) {
            std::memcpy(target, out + static_cast<std::int64_t>(first) * frameBytes_,
                        static_cast<std::size_t>(frameBytes_));
            continue;
        }
        Draw(frames[place], target);
        first = place;
    }
}

void VideoFrameReader::Draw(std::int64_t frame, std::uint8_t* out) {
    const FrameTable& table = *setup_.table;
    const std::int64_t timestamp = table.time(frame);
    // The decoder goes on forward unless the frame lies behind it, or a keyframe lies before
    // it: decoding from there is no slower than from where the decoder is, and often faster.
    const bool forward =
        clip_ && frame >= lastFrame_ && !table.KeyframeBetween(table.time(lastFrame_), timestamp);
    const std::int64_t sourceTime = UnitsOf(timestamp, table.timeBase()) - setup_.origin;
    if (!forward && clip_ && clip_->MoveTo(sourceTime)) {
        ++seeks_;
    } else if (!forward) {
        VideoClipSetup clip;
        clip.name = setup_.name;
        clip.sourceStart = sourceTime;
        clip.sourceStop = ClampTime(UnitsOf(table.end(), table.timeBase()) - setup_.origin);
        clip.mode = setup_.mode;
        clip.barColour = setup_.barColour;
        clip.outputWidth = setup_.width;
        clip.outputHeight = setup_.height;
        clip.fullDecodeBeforeStart = 0;  // the time is the frame's own
        clip_ = std::make_unique<VideoClipReader>(std::move(clip));
        ++seeks_;
    }
    if (forward) {
        clip_->SkipUnreferencedBefore(sourceTime);
    }
    lastFrame_ = frame;
    if (setup_.format == kPixelBgrx && !setup_.planar) {
        clip_->Render(sourceTime, out);
        return;
    }
    drawn_.resize(static_cast<std::size_t>(setup_.width) * setup_.height * 4);
    clip_->Render(sourceTime, drawn_.data());
    PackPixels(drawn_.data(), setup_.width, setup_.height, setup_.format, setup_.planar, out);
}

}  // namespace tarn
