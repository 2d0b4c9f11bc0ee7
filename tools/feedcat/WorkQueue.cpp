#include "WorkQueue.h"

#include <utility>

namespace feedcat {

WorkQueue::WorkQueue(std::size_t maxItems, std::size_t maxBytes)
    : maxItems_(maxItems), maxBytes_(maxBytes) {}

bool WorkQueue::Push(MediaItem item) {
    std::unique_lock<std::mutex> lock(mutex_);
    // An item larger than the byte bound still goes through once the queue is empty.
    notFull_.wait(lock, [this, &item] {
        return closed_ || abandoned_ || items_.empty() ||
               (items_.size() < maxItems_ && bytes_ + item.data.size() <= maxBytes_);
    });
    if (closed_ || abandoned_) {
        return false;
    }
    bytes_ += item.data.size();
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
    bytes_ -= item->data.size();
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
    bytes_ = 0;
    notEmpty_.notify_all();
    notFull_.notify_all();
}

}  // namespace feedcat
