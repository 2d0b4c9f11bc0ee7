#include "pipeline/WorkQueue.h"

#include <utility>

namespace feedcat {

WorkQueue::WorkQueue(std::size_t mostFrames, std::size_t mostBuffers)
    : mostFrames_(mostFrames), mostBuffers_(mostBuffers) {}

std::size_t& WorkQueue::CountOf(MediaItem::Kind kind) {
    return kind == MediaItem::Kind::kVideo ? frames_ : buffers_;
}

bool WorkQueue::Push(MediaItem item) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::size_t most = item.kind == MediaItem::Kind::kVideo ? mostFrames_ : mostBuffers_;
    std::size_t& count = CountOf(item.kind);
    // A bound of 0 still lets one item of the kind through at a time.
    notFull_.wait(lock, [&] { return closed_ || abandoned_ || count == 0 || count < most; });
    if (closed_ || abandoned_) {
        return false;
    }
    ++count;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
}

bool WorkQueue::Pop(MediaItem* item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notEmpty_.wait(lock, [this] { return abandoned_ || closed_ || !items_.empty(); });
    if (abandoned_ || items_.empty()) {
        return false;
    }
    *item = std::move(items_.front());
    items_.pop_front();
    --CountOf(item->kind);
    notFull_.notify_all();
    return true;
}

void WorkQueue::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
}

void WorkQueue::Abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
    items_.clear();
    frames_ = 0;
    buffers_ = 0;
    notEmpty_.notify_all();
    notFull_.notify_all();
}

}  // namespace feedcat
