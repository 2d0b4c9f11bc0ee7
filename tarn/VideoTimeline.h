// VideoTimeline: the frames of a video composite on its constant-rate grid, each rendered from
// the clip that covers its start (black in gaps). One clip's reader is open at a time.
#pragma once

#include <memory>
#include <vector>

#include "tarn/TimelineGrid.h"
#include "tarn/TimelineProducer.h"
#include "tarn/VideoClipReader.h"

class VideoTimeline final : public TimelineProducer {
  public:
    // clips sorted by timeline start; width and height > 0.
    VideoTimeline(std::vector<ClipData> clips, std::int32_t width, std::int32_t height,
                  FrameGrid grid);

    bool Next(Delivery& out) override;
    const void* FormatRecord() const override { return &record_; }

  private:
    std::vector<ClipData> clips_;
    std::int32_t width_;
    std::int32_t height_;
    FrameGrid grid_;
    BITMAPINFOHEADER record_{};
    std::int64_t frameCount_ = 0;
    std::int64_t next_ = 0;  // index of the next frame
    std::size_t cursor_ = 0;
    int openClip_ = -1;
    std::unique_ptr<VideoClipReader> reader_;
};
