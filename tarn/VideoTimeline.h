// VideoTimeline: the frames of a video composite on its constant-rate grid, each rendered from
// the clip that covers its start (black in gaps). The clip playing and the next one are open:
// the next is prepared on a thread of its own while the current one plays.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "tarn/ClipPreparer.h"
#include "tarn/TimelineGrid.h"
#include "tarn/TimelineProducer.h"
#include "tarn/video/VideoClipReader.h"

namespace tarn {

class VideoTimeline final : public TimelineProducer {
  public:
    // clips sorted by timeline start; width and height > 0.
    VideoTimeline(std::vector<ClipData> clips, std::int32_t width, std::int32_t height,
                  FrameGrid grid);

    bool Next(Chunk& out) override;
    void Interrupt() override { stopping_.store(true, std::memory_order_relaxed); }
    const void* FormatRecord() const override { return &record_; }

  private:
    std::unique_ptr<VideoClipReader> MakeReader(int clip) const;
    // Makes `clip` the open one, prepared ahead if it could be.
    void OpenClip(int clip);
    // The clip that shows next after `clip`: the first later one that covers a frame's start.
    int ClipAfter(int clip) const;

    std::vector<ClipData> clips_;
    std::int32_t width_;
    std::int32_t height_;
    FrameGrid grid_;
    BITMAPINFOHEADER record_{};
    std::int64_t frameCount_ = 0;
    std::int64_t next_ = 0;  // index of the next frame
    std::size_t cursor_ = 0;
    // Set by Interrupt from another thread; read by the readers' decoding loops.
    std::atomic<bool> stopping_{false};
    int openClip_ = -1;
    std::unique_ptr<VideoClipReader> reader_;
    ClipPreparer<VideoClipReader> preparer_;  // after stopping_, which it reads until joined
};

}  // namespace tarn
