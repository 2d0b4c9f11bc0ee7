#include "DeliveryQueue.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace feedpy {
namespace {

// Blocks kept for reuse beyond the bound: those Python is still holding as the arrays of the
// last few items when the engine asks for the next ones.
constexpr std::size_t kSpareBeyondBound = 4;

}  // namespace

std::uint64_t DeliveryQueue::Open(std::size_t maxFrames, std::size_t maxBuffers) {
    maxFrames = std::max<std::size_t>(maxFrames, 1);
    maxBuffers = std::max<std::size_t>(maxBuffers, 1);
    // Made before the lock is taken and swapped in, so a failure leaves the queue as it was.
    std::shared_ptr<BufferPool> framePool = BufferPool::Create(maxFrames + kSpareBeyondBound);
    std::shared_ptr<BufferPool> bufferPool = BufferPool::Create(maxBuffers + kSpareBeyondBound);
    std::deque<DeliveredItem> dropped;  // freed once the lock is released
    const std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(items_);
    framePool_.swap(framePool);
    bufferPool_.swap(bufferPool);
    frames_ = 0;
    buffers_ = 0;
    maxFrames_ = maxFrames;
    maxBuffers_ = maxBuffers;
    closed_ = false;
    failed_ = false;
    delivered_ = 0;
    // A consumer of the last generation may be waiting: it is to see Closed, not these items.
    itemReady_.notify_all();
    return ++generation_;
}

void DeliveryQueue::PushFrame(const std::uint8_t* frame, std::int32_t length,
                              std::int32_t positionMs, std::int32_t width,
                              std::int32_t height) noexcept {
    DeliveredItem item;
    item.kind = DeliveredItem::Kind::Frame;
    item.positionMs = positionMs;
    item.width = width;
    item.height = height;
    Push(item.kind, frame, length, std::move(item));
}

void DeliveryQueue::PushBuffer(const std::uint8_t* buffer, std::int32_t length,
                               std::int32_t positionMs, std::int32_t bitsPerSample,
                               std::int32_t sampleRate, std::int32_t channels) noexcept {
    DeliveredItem item;
    item.kind = DeliveredItem::Kind::Buffer;
    item.positionMs = positionMs;
    item.bitsPerSample = bitsPerSample;
    item.sampleRate = sampleRate;
    item.channels = channels;
    Push(item.kind, buffer, length, std::move(item));
}

void DeliveryQueue::Push(DeliveredItem::Kind kind, const std::uint8_t* bytes, std::int32_t length,
                         DeliveredItem&& item) noexcept {
    // A null pointer or a negative length is taken as nothing to copy; Python then finds the
    // item's size does not match its shape and reports it.
    const std::size_t size =
        (bytes != nullptr && length > 0) ? static_cast<std::size_t>(length) : 0;
    std::unique_lock<std::mutex> lock(mutex_);
    const std::size_t bound = kind == DeliveredItem::Kind::Frame ? maxFrames_ : maxBuffers_;
    roomFree_.wait(lock, [&] { return closed_ || countOf(kind) < bound; });
    if (closed_) {
        return;
    }
    ++countOf(kind);
    BufferPool& pool = kind == DeliveredItem::Kind::Frame ? *framePool_ : *bufferPool_;
    lock.unlock();

    // The one copy, made without the lock so that Python can take items meanwhile.
    bool copied = false;
    try {
        item.data = pool.Take(size);
        if (size > 0) {
            std::memcpy(item.data.data(), bytes, size);
        }
        copied = true;
    } catch (const std::bad_alloc&) {
        // Reported to Python below; nothing may leave the engine's thread.
    }

    lock.lock();
    if (copied && !closed_) {
        try {
            items_.push_back(std::move(item));
            ++delivered_;
            itemReady_.notify_one();
            return;
        } catch (const std::bad_alloc&) {
            copied = false;
        }
    }
    --countOf(kind);
    if (!copied) {
        failed_ = true;
        itemReady_.notify_all();
    }
    // The reserved place is free again for the other kind's waiting callback, if any.
    roomFree_.notify_all();
}

DeliveryQueue::Wait DeliveryQueue::Pop(std::uint64_t generation, DeliveredItem* item,
                                       std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    itemReady_.wait_for(lock, timeout, [&] {
        return generation != generation_ || !items_.empty() || closed_ || failed_;
    });
    if (generation != generation_) {
        return Wait::Closed;
    }
    if (!items_.empty()) {
        *item = std::move(items_.front());
        items_.pop_front();
        --countOf(item->kind);
        // Both kinds' callbacks wait on the one variable, so both are woken; the one whose
        // kind has no room goes back to waiting.
        roomFree_.notify_all();
        return Wait::Item;
    }
    if (failed_) {
        return Wait::Failed;
    }
    return closed_ ? Wait::Closed : Wait::TimedOut;
}

void DeliveryQueue::Close() {
    std::deque<DeliveredItem> dropped;  // freed once the lock is released
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    // A callback copying right now keeps its reservation and gives it back when it finds the
    // queue closed; only the places of the dropped items are freed here.
    for (const DeliveredItem& item : items_) {
        --countOf(item.kind);
    }
    dropped.swap(items_);
    roomFree_.notify_all();
    itemReady_.notify_all();
}

std::int64_t DeliveryQueue::delivered() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return delivered_;
}

}  // namespace feedpy
