// ScratchFrame: the one frame-sized buffer into which a session blends its faded video frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace session {

class ScratchFrame {
  public:
    // At least length bytes, or nullptr when they cannot be had. The buffer is allocated on
    // first use and grown, never shrunk, so a session with one frame size allocates once.
    std::uint8_t* Reserve(std::size_t length) noexcept {
        if (length > size_) {
            std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[length]);
            if (!bigger) {
                return nullptr;
            }
            bytes_ = std::move(bigger);
            size_ = length;
        }
        return bytes_.get();
    }

    void Free() noexcept {
        bytes_.reset();
        size_ = 0;
    }

    bool allocated() const noexcept { return bytes_ != nullptr; }

  private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_ = 0;
};

}  // namespace session
