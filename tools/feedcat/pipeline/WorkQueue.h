// The bounded queue between the library's callbacks (producers) and the encoder thread (the
// one consumer). A producer whose kind is at its bound waits until the consumer takes one.
//
// The bounds are what the encoder needs to be kept busy, not more: it takes one picture at a
// time and keeps its own look-ahead, and the library decodes ahead on threads of its own, so a
// few queued pictures absorb the jitter between the two. Each kind has its own bound, so audio
// buffers (10 ms each) never wait behind pictures or the other way round.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "pipeline/MediaItem.h"

namespace feedcat {

class WorkQueue {
  public:
    WorkQueue(std::size_t mostFrames, std::size_t mostBuffers);

    // Waits for room for the item's kind, then queues it. False (item dropped) once the queue
    // is closed or abandoned.
    bool Push(MediaItem item);

    // Waits for an item. False once the queue is closed and empty, or abandoned.
    bool Pop(MediaItem* item);

    // No more items will come; the consumer drains what is queued.
    void Close();

    // The consumer gave up: queued items are dropped and producers never wait again.
    void Abandon();

  private:
    std::size_t& CountOf(MediaItem::Kind kind);

    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
    std::deque<MediaItem> items_;
    std::size_t frames_ = 0;
    std::size_t buffers_ = 0;
    const std::size_t mostFrames_;
    const std::size_t mostBuffers_;
    bool closed_ = false;
    bool abandoned_ = false;
};

}  // namespace feedcat
