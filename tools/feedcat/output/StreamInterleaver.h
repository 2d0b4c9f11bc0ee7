// StreamInterleaver: hands the delivered frames and buffers on in timeline order, holding back
// the stream that runs ahead until the other catches up. The library keeps its two timelines
// within a short window of each other, so little is held. When a run is interrupted, what the
// leading stream delivered past the end of the other is dropped, so that both streams of the
// file end at the same point (within one frame).
//
// Used by the encoder thread only.
#pragma once

#include <deque>
#include <vector>

#include "pipeline/MediaItem.h"

namespace feedcat {

class StreamInterleaver {
  public:
    // bothStreams: video and audio will both be delivered (otherwise items pass at once).
    // frameMs: the length of one video frame in milliseconds.
    StreamInterleaver(bool bothStreams, double frameMs);

    // Takes an item; appends to `ready` the items that can be handled now, in order.
    void Add(MediaItem item, std::vector<MediaItem>* ready);

    // No more items: appends the held ones to `ready`, those that start at or after the end of
    // the other stream left out when the run was interrupted.
    void Finish(bool interrupted, std::vector<MediaItem>* ready);

  private:
    // Held beyond this, a stream is handed on anyway: with the library's sync switched off it
    // may run far ahead, and memory must stay bounded.
    static constexpr std::size_t kMostHeldFrames = 8;
    static constexpr std::size_t kMostHeldBuffers = 200;  // 2 s of 10 ms buffers

    double EndMs(const MediaItem& item) const;
    void Release(std::vector<MediaItem>* ready);

    const bool bothStreams_;
    const double frameMs_;
    std::deque<MediaItem> video_;
    std::deque<MediaItem> audio_;
    double videoEndMs_ = 0.0;  // end of the latest frame, held or handed on
    double audioEndMs_ = 0.0;
};

}  // namespace feedcat
