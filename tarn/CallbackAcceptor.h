// CallbackAcceptor: the IMediaAcceptor that hands every frame or buffer of the composite it is
// connected to to a C callback. It is also the composite's link to a sync object: the
// composite reports through it when it becomes active or inactive.
#pragma once

#include <memory>

#include "tarn/RefCounted.h"
#include "tarn/SyncClock.h"

namespace tarn {

class CallbackAcceptor final : public RefCounted<IMediaAcceptor> {
  public:
    CallbackAcceptor(AcceptorCallback callback, void* context);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    // On the composite's delivery thread. The callback's result is ignored.
    void Deliver(const void* format, std::uint8_t* data, std::int32_t length, std::int64_t start,
                 std::int64_t duration) {
        callback_(context_, format, data, length, start, duration);
    }

    // By the sync object: this acceptor's timeline is `side` of clock.
    void AttachSync(std::shared_ptr<SyncClock> clock, SyncClock::Side side);
    // By the composite, whenever its delivery starts, resumes, pauses, stops or ends.
    void SetActive(bool active);

  private:
    const AcceptorCallback callback_;
    void* const context_;
    std::mutex syncMutex_;  // guards the two fields below (attach may race with SetActive)
    std::shared_ptr<SyncClock> clock_;
    SyncClock::Side side_ = SyncClock::Side::Video;
    bool active_ = false;
};

}  // namespace tarn
