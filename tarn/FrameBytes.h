// FrameBytes: the bytes of an output frame held by the engine, starting on a kFrameAlignment
// boundary so that the frame converter can scale straight into them (see FrameConverter).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace tarn {

// Alignment, in bytes, of frames the converter writes into without a copy: libswscale's
// widest block.
constexpr std::size_t kFrameAlignment = 64;

template <typename T>
struct FrameAllocator {
    using value_type = T;

    FrameAllocator() = default;
    template <typename U>
    explicit FrameAllocator(const FrameAllocator<U>& /*other*/) {}

    T* allocate(std::size_t count) {
        return static_cast<T*>(
            ::operator new (count * sizeof(T), std::align_val_t{kFrameAlignment}));
    }
    void deallocate(T* bytes, std::size_t /*count*/) {
        ::operator delete (bytes, std::align_val_t{kFrameAlignment});
    }

    template <typename U>
    bool operator==(const FrameAllocator<U>& /*other*/) const {
        return true;
    }
    template <typename U>
    bool operator!=(const FrameAllocator<U>& /*other*/) const {
        return false;
    }
};

using FrameBytes = std::vector<std::uint8_t, FrameAllocator<std::uint8_t>>;

}  // namespace tarn
