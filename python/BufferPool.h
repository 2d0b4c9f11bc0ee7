// Blocks of bytes for delivered frames and buffers, kept for reuse. A frame is copied once,
// on the engine's thread, into a block taken from the pool; the numpy array made from it owns
// the block, and when Python frees the array the block goes back to the pool. Reusing blocks
// spares a fresh allocation (and, for frames, the page faults of fresh memory) per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace feedpy {

class BufferPool;

// One block, owned alone. Destroying it hands the block back to its pool (or frees it when
// the pool has spares enough). Movable, not copyable.
class Buffer {
  public:
    Buffer() = default;
    Buffer(std::unique_ptr<std::uint8_t[]> data, std::size_t size,
           std::shared_ptr<BufferPool> pool);
    ~Buffer();
    Buffer(Buffer&&) noexcept = default;
    Buffer& operator=(Buffer&& other) noexcept;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

  private:
    void GiveBack() noexcept;

    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
    std::shared_ptr<BufferPool> pool_;  // keeps the pool alive while the block is out
};

// Shared between the engine's delivery threads (which take blocks) and Python's threads
// (which give them back as arrays are freed), so every member is guarded by mutex_. Blocks
// are handed out uninitialised.
class BufferPool : public std::enable_shared_from_this<BufferPool> {
  public:
    // Keeps at most maxSpare blocks for reuse; blocks beyond that are freed on return.
    static std::shared_ptr<BufferPool> Create(std::size_t maxSpare);

    // A block of exactly `size` bytes: a spare one when there is one of that size, else a new
    // one. Throws std::bad_alloc when memory runs out.
    Buffer Take(std::size_t size);

    // Blocks waiting for reuse (for tests).
    std::size_t spareCount();

  private:
    friend class Buffer;
    explicit BufferPool(std::size_t maxSpare) : maxSpare_(maxSpare) {}
    void Return(std::unique_ptr<std::uint8_t[]> data, std::size_t size) noexcept;

    const std::size_t maxSpare_;
    std::mutex mutex_;
    // All spares have spareSize_ bytes; a block of another size empties the list, since the
    // frame size changes only between sessions.
    std::vector<std::unique_ptr<std::uint8_t[]>> spares_;
    std::size_t spareSize_ = 0;
};

}  // namespace feedpy
