// The pictures between the library's video thread (the one producer, frames one at a time) and
// the window's thread (the one consumer), copied out of the library's frames, which are valid
// during the callback only. The producer waits while the queue is full, which paces the
// library's video to what the window shows; the consumer never waits. Buffers are reused, so a
// long run allocates a handful of pictures. Any thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace feedcat {

struct QueuedFrame {
    std::vector<std::uint8_t> pixels;  // width x height pixels, bytes B G R X, rows top-down
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t positionMs = 0;  // on the timeline
    double arrivedAtMs = 0.0;     // where the playback clock stood when it was delivered
};

class FrameQueue {
  public:
    explicit FrameQueue(std::size_t capacity) : capacity_(capacity) {}

    // Producer: waits for room, then copies width x height pixels in. False once closed (the
    // frame is left out). *wasEmpty: it is the only frame queued, so a consumer may be waiting
    // for it.
    bool Push(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
              std::int32_t positionMs, double arrivedAtMs, bool* wasEmpty);

    // Consumer: the position of the frame at index (0 the first); false when there is none.
    bool PositionAt(std::size_t index, std::int32_t* positionMs) const;

    // Consumer: the first frame, or null.
    std::unique_ptr<QueuedFrame> Pop();

    // Consumer: a frame done with, for reuse.
    void GiveBack(std::unique_ptr<QueuedFrame> frame);

    bool Empty() const;

    // Wakes a waiting producer; every later Push returns false at once.
    void Close();

  private:
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::deque<std::unique_ptr<QueuedFrame>> frames_;  // mutex_
    std::vector<std::unique_ptr<QueuedFrame>> spare_;  // mutex_
    bool filling_ = false;  // the producer copies into a frame outside the lock; mutex_
    bool closed_ = false;   // mutex_
    const std::size_t capacity_;
};

}  // namespace feedcat
