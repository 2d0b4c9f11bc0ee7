// What the --play window counts while it shows a feed, on the window's thread: frames shown and
// dropped, how far each shown frame was from the playback clock when it appeared (its A/V
// offset), and how late the frames around each join of the video timeline arrived from the
// library.
#pragma once

#include <cstdint>
#include <vector>

#include "play/FrameQueue.h"

namespace feedcat {

class PlayStats {
  public:
    // videoJoinsMs: where one video clip ends and the next begins, on the timeline.
    explicit PlayStats(std::vector<std::int32_t> videoJoinsMs)
        : videoJoinsMs_(std::move(videoJoinsMs)) {}

    // The frame appeared when the clock stood at clockMs.
    void Shown(const QueuedFrame& frame, double clockMs);
    // The frame came too late to be shown.
    void Dropped(const QueuedFrame& frame);

    std::int64_t shown() const { return shown_; }
    std::int64_t dropped() const { return dropped_; }
    // Frame position minus clock: negative when a frame appeared after its time. The largest
    // in size so far, and the last one's.
    double largestOffsetMs() const { return largestOffsetMs_; }
    double lastOffsetMs() const { return lastOffsetMs_; }
    // Whether any frame near a join arrived, and the latest arrival among them: the clock at
    // arrival minus the frame's position, so negative when every one came ahead of its time.
    bool sawJoin() const { return sawJoin_; }
    double worstJoinLatenessMs() const { return worstJoinLatenessMs_; }

  private:
    void Arrived(const QueuedFrame& frame);

    const std::vector<std::int32_t> videoJoinsMs_;
    std::int64_t shown_ = 0;
    std::int64_t dropped_ = 0;
    double largestOffsetMs_ = 0.0;
    double lastOffsetMs_ = 0.0;
    bool sawJoin_ = false;
    double worstJoinLatenessMs_ = 0.0;
};

}  // namespace feedcat
