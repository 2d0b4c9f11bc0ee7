#include "BufferPool.h"

#include <utility>

namespace feedpy {

Buffer::Buffer(std::unique_ptr<std::uint8_t[]> data, std::size_t size,
               std::shared_ptr<BufferPool> pool)
    : data_(std::move(data)), size_(size), pool_(std::move(pool)) {}

Buffer::~Buffer() {
    GiveBack();
}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
    if (this != &other) {
        GiveBack();
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        pool_ = std::move(other.pool_);
    }
    return *this;
}

void Buffer::GiveBack() noexcept {
    if (data_ && pool_) {
        pool_->Return(std::move(data_), size_);
    }
    data_.reset();
    pool_.reset();
    size_ = 0;
}

std::shared_ptr<BufferPool> BufferPool::Create(std::size_t maxSpare) {
    std::shared_ptr<BufferPool> pool(new BufferPool(maxSpare));
    pool->spares_.reserve(maxSpare);  // so that Return never allocates
    return pool;
}

Buffer BufferPool::Take(std::size_t size) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (size == spareSize_ && !spares_.empty()) {
            std::unique_ptr<std::uint8_t[]> data = std::move(spares_.back());
            spares_.pop_back();
            return Buffer(std::move(data), size, shared_from_this());
        }
    }
    // Allocated outside the lock: a frame is up to 1 GiB, and the other kind's thread and
    // Python's returns need not wait for it. new[] without () leaves the bytes uninitialised.
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size > 0 ? size : 1]);
    return Buffer(std::move(data), size, shared_from_this());
}

std::size_t BufferPool::spareCount() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return spares_.size();
}

void BufferPool::Return(std::unique_ptr<std::uint8_t[]> data, std::size_t size) noexcept {
    std::unique_ptr<std::uint8_t[]> dropped;  // freed after the lock is released
    const std::lock_guard<std::mutex> lock(mutex_);
    if (size != spareSize_) {
        spares_.clear();
        spareSize_ = size;
    }
    if (spares_.size() < maxSpare_) {
        spares_.push_back(std::move(data));  // within the capacity reserved at creation
        return;
    }
    dropped = std::move(data);
}

}  // namespace feedpy
