#include "play/FrameQueue.h"

#include <cstring>
#include <utility>

namespace feedcat {

bool FrameQueue::Push(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                      std::int32_t positionMs, double arrivedAtMs, bool* wasEmpty) {
    std::unique_ptr<QueuedFrame> frame;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] { return closed_ || frames_.size() < capacity_; });
        if (closed_) {
            return false;
        }
        if (!spare_.empty()) {
            frame = std::move(spare_.back());
            spare_.pop_back();
        }
        filling_ = true;
    }
    // The copy (up to 8 MB for 1080p) runs outside the lock, so the consumer is not held up.
    if (!frame) {
        frame = std::make_unique<QueuedFrame>();
    }
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    frame->pixels.resize(bytes);
    std::memcpy(frame->pixels.data(), pixels, bytes);
    frame->width = width;
    frame->height = height;
    frame->positionMs = positionMs;
    frame->arrivedAtMs = arrivedAtMs;
    std::lock_guard<std::mutex> lock(mutex_);
    filling_ = false;
    if (closed_) {
        return false;
    }
    frames_.push_back(std::move(frame));
    *wasEmpty = frames_.size() == 1;
    return true;
}

bool FrameQueue::PositionAt(std::size_t index, std::int32_t* positionMs) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= frames_.size()) {
        return false;
    }
    *positionMs = frames_[index]->positionMs;
    return true;
}

std::unique_ptr<QueuedFrame> FrameQueue::Pop() {
    std::unique_ptr<QueuedFrame> frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (frames_.empty()) {
            return nullptr;
        }
        frame = std::move(frames_.front());
        frames_.pop_front();
    }
    room_.notify_one();
    return frame;
}

void FrameQueue::GiveBack(std::unique_ptr<QueuedFrame> frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame && spare_.size() < capacity_) {
        spare_.push_back(std::move(frame));
    }
}

bool FrameQueue::Empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.empty() && !filling_;
}

void FrameQueue::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    room_.notify_all();
}

}  // namespace feedcat
