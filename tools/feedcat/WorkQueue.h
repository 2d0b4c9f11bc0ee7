// The bounded queue between the library's callbacks (producers) and the encoder thread (the
// one consumer). A full queue blocks the producer until the consumer takes something.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "MediaItem.h"

namespace feedcat {

class WorkQueue {
  public:
    WorkQueue(std::size_t maxItems, std::size_t maxBytes);

    // Waits for room, then queues item. False (item dropped) once the queue is closed or
    // abandoned.
    bool Push(MediaItem item);

    // Waits for an item. False once the queue is closed and empty, or abandoned.
    bool Pop(MediaItem* item);

    // No more items will come; the consumer drains what is queued.
    void Close();

    // The consumer gave up: queued items are dropped and producers never wait again.
    void Abandon();

  private:
    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
    std::deque<MediaItem> items_;
    std::size_t bytes_ = 0;
    const std::size_t maxItems_;
    const std::size_t maxBytes_;
    bool closed_ = false;
    bool abandoned_ = false;
};

}  // namespace feedcat
