// RefCounted<Interfaces...>: thread-safe reference counting for the engine's objects. One count
// per object however many interfaces it implements; the object deletes itself when the count
// it computed reaches zero (the count is never read again after the decrement).
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/MediaEngine.h"

namespace tarn {

constexpr HRESULT kOk = 0;
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT kWrongState = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000Eu);

// Runs the body of an interface method that may allocate, so that no exception leaves the
// engine's interface: running out of memory (or threads) is the call's failure.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return kOutOfMemory;
    }
}

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID kIidUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline HRESULT RefuseInterface(void** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return kNoInterface;
}

template <typename... Interfaces>
class RefCounted : public Interfaces... {
  public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    std::uint32_t STDMETHODCALLTYPE AddRef() override {
        return count_.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    std::uint32_t STDMETHODCALLTYPE Release() override {
        const std::uint32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    virtual ~RefCounted() = default;

    // Hands out `object` (already the right interface pointer) with a new reference.
    HRESULT Give(IUnknown* object, void** out) {
        object->AddRef();
        *out = object;
        return kOk;
    }

    // The whole QueryInterface of an object that hands out one interface, `Interface`: as
    // IUnknown, and as `own` where that interface has an id of its own.
    template <typename Interface>
    HRESULT QuerySoleInterface(REFIID iid, void** out, const IID& own = kIidUnknown) {
        if (out == nullptr) {
            return kInvalidArgument;
        }
        if (iid == kIidUnknown || iid == own) {
            return Give(static_cast<Interface*>(this), out);
        }
        return RefuseInterface(out);
    }

  private:
    std::atomic<std::uint32_t> count_{1};
};

}  // namespace tarn
