// The bounded queue between the engine's delivery threads and the Python thread that iterates
// a session. The feed's callbacks (engine threads, never holding the GIL) copy each frame or
// buffer once into a pooled block and queue it; Python takes the items in arrival order and
// turns each block into a numpy array without copying again.
//
// Bounds: at most maxFrames frames and maxBuffers audio buffers are queued at a time. A
// callback finding its kind's bound reached waits until Python has taken an item or the queue
// is closed, so a slow consumer holds the engine back: nothing is dropped and memory stays
// bounded. Frames and buffers have bounds of their own, and Python always takes the oldest
// item whatever its kind, so a full kind never keeps the other kind's items from Python.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "BufferPool.h"

namespace feedpy {

struct DeliveredItem {
    enum class Kind { Frame, Buffer };
    Kind kind = Kind::Frame;
    Buffer data;                  // the bytes as the library handed them over
    std::int32_t positionMs = 0;  // on the timeline
    // Frames: pixels; buffers: 0.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Buffers: the sample format; frames: 0.
    std::int32_t bitsPerSample = 0;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 0;
};

class DeliveryQueue {
  public:
    // Starts a session's queue: empties it, sets the bounds (each at least 1) and reopens it.
    // Returns the new generation, which Pop takes to tell this session's consumer from a
    // stale one. Only while no callback can run (before the session starts). Python's thread.
    std::uint64_t Open(std::size_t maxFrames, std::size_t maxBuffers);

    // Engine threads, inside the feed's callbacks. Wait for room, copy, queue; return at once,
    // queuing nothing, once the queue is closed. Never throw: when a copy cannot be allocated
    // the queue is marked failed and Python is told.
    void PushFrame(const std::uint8_t* frame, std::int32_t length, std::int32_t positionMs,
                   std::int32_t width, std::int32_t height) noexcept;
    void PushBuffer(const std::uint8_t* buffer, std::int32_t length, std::int32_t positionMs,
                    std::int32_t bitsPerSample, std::int32_t sampleRate,
                    std::int32_t channels) noexcept;

    enum class Wait { Item, TimedOut, Closed, Failed };

    // Python's thread, with the GIL released: the oldest item, waiting up to `timeout` for
    // one. Items queued before a failure are still handed out; Failed comes after them.
    // Closed when the queue is closed or reopened for another generation than `generation`.
    Wait Pop(std::uint64_t generation, DeliveredItem* item, std::chrono::milliseconds timeout);

    // Closes the queue: drops what is queued, wakes every waiting callback (which then
    // returns without queuing) and the waiting consumer. Any thread; before stopping a
    // session, so that a callback waiting for room cannot hold the stop up.
    void Close();

    // Items queued since Open (Python hands a session that delivered nothing to the caller as
    // a failure).
    std::int64_t delivered();

  private:
    void Push(DeliveredItem::Kind kind, const std::uint8_t* bytes, std::int32_t length,
              DeliveredItem&& item) noexcept;
    std::size_t& countOf(DeliveredItem::Kind kind) {
        return kind == DeliveredItem::Kind::Frame ? frames_ : buffers_;
    }

    // Made by Open, sized to the session's bounds; read by the callbacks without the lock
    // (Open runs only while no callback can). Arrays handed to Python keep their pool alive
    // past the session and the queue.
    std::shared_ptr<BufferPool> framePool_;
    std::shared_ptr<BufferPool> bufferPool_;

    std::mutex mutex_;                   // guards everything below
    std::condition_variable itemReady_;  // Python waits for an item, a close or a failure
    std::condition_variable roomFree_;   // callbacks wait for room or a close
    std::deque<DeliveredItem> items_;
    // Items queued or being copied, per kind: a callback reserves its place before copying,
    // so the bound holds even while a copy is under way.
    std::size_t frames_ = 0;
    std::size_t buffers_ = 0;
    std::size_t maxFrames_ = 1;
    std::size_t maxBuffers_ = 1;
    std::uint64_t generation_ = 0;
    bool closed_ = true;
    bool failed_ = false;
    std::int64_t delivered_ = 0;
};

}  // namespace feedpy
