#include "tarn/CallbackAcceptor.h"

#include <utility>

namespace tarn {

CallbackAcceptor::CallbackAcceptor(AcceptorCallback callback, void* context)
    : callback_(callback), context_(context) {}

HRESULT CallbackAcceptor::QueryInterface(REFIID iid, void** object) {
    return QuerySoleInterface<IMediaAcceptor>(iid, object);
}

void CallbackAcceptor::AttachSync(std::shared_ptr<SyncClock> clock, SyncClock::Side side) {
    std::lock_guard<std::mutex> lock(syncMutex_);
    clock_ = std::move(clock);
    side_ = side;
    clock_->Attach(side);
    clock_->SetActive(side, active_);
}

void CallbackAcceptor::SetActive(bool active) {
    std::lock_guard<std::mutex> lock(syncMutex_);
    active_ = active;
    if (clock_) {
        clock_->SetActive(side_, active);
    }
}

}  // namespace tarn
