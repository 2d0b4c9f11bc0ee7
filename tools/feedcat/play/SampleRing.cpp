#include "play/SampleRing.h"

#include <algorithm>
#include <cstring>

namespace feedcat {

SampleRing::SampleRing(std::size_t capacityFrames, std::size_t frameBytes)
    : ring_(std::max<std::size_t>(1, capacityFrames) * frameBytes), frameBytes_(frameBytes) {}

bool SampleRing::Write(const std::uint8_t* data, std::size_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (bytes > 0) {
        room_.wait(lock, [this] { return closed_ || filled_ < ring_.size(); });
        if (closed_) {
            return false;
        }
        // Into the free space after the filled part, up to the end of the ring at most.
        const std::size_t writeAt = (readAt_ + filled_) % ring_.size();
        const std::size_t count = std::min({bytes, ring_.size() - filled_, ring_.size() - writeAt});
        std::memcpy(ring_.data() + writeAt, data, count);
        filled_ += count;
        data += count;
        bytes -= count;
    }
    return true;
}

std::size_t SampleRing::Read(std::uint8_t* out, std::size_t bytes) {
    std::size_t copied = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t wanted = std::min(bytes, filled_) / frameBytes_ * frameBytes_;
        while (copied < wanted) {
            const std::size_t count = std::min(wanted - copied, ring_.size() - readAt_);
            std::memcpy(out + copied, ring_.data() + readAt_, count);
            readAt_ = (readAt_ + count) % ring_.size();
            filled_ -= count;
            copied += count;
        }
    }
    if (copied > 0) {
        room_.notify_one();
    }
    return copied;
}

std::size_t SampleRing::BufferedFrames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return filled_ / frameBytes_;
}

void SampleRing::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    room_.notify_all();
}

}  // namespace feedcat
