// EngineRef<T>: holds one reference to an engine object and releases it exactly once.
#pragma once

#include <utility>

#include "MediaEngine.h"

template <typename T>
class EngineRef {
public:
    EngineRef() = default;
    EngineRef(const EngineRef&) = delete;
    EngineRef& operator=(const EngineRef&) = delete;
    EngineRef(EngineRef&& other) noexcept : object_(other.detach()) {}
    EngineRef& operator=(EngineRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = other.detach();
        }
        return *this;
    }
    ~EngineRef() { reset(); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // For an out argument: releases what is held, then lends the slot to be filled.
    T** put() {
        reset();
        return &object_;
    }

    // Releases the reference now (if any).
    void reset() {
        T* object = std::exchange(object_, nullptr);
        if (object != nullptr) {
            object->Release();
        }
    }

    // Gives up the reference without releasing it; the caller now owns it.
    T* detach() { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;
};

// Queries source for interface I; an empty holder when the engine hands out nothing.
template <typename I>
EngineRef<I> QueryEngineInterface(IUnknown* source, REFIID iid) {
    EngineRef<I> result;
    void* object = nullptr;
    if (source != nullptr && source->QueryInterface(iid, &object) >= 0 && object != nullptr) {
        *result.put() = static_cast<I*>(object);
    }
    return result;
}
