#include "tarn/AudioVideoSync.h"

#include "tarn/CallbackAcceptor.h"

namespace tarn {

HRESULT AudioVideoSync::QueryInterface(REFIID iid, void** object) {
    return QuerySoleInterface<IAudioVideoSync>(iid, object);
}

HRESULT AudioVideoSync::AttachAcceptors(void*, void*, IMediaAcceptor* video, void*, void*,
                                        IMediaAcceptor* audio) {
    // Only this engine's acceptors know their composite's state.
    auto* videoAcceptor = dynamic_cast<CallbackAcceptor*>(video);
    auto* audioAcceptor = dynamic_cast<CallbackAcceptor*>(audio);
    if ((video != nullptr && videoAcceptor == nullptr) ||
        (audio != nullptr && audioAcceptor == nullptr)) {
        return kInvalidArgument;
    }
    if (videoAcceptor != nullptr) {
        videoAcceptor->AttachSync(clock_, SyncClock::Side::Video);
    }
    if (audioAcceptor != nullptr) {
        audioAcceptor->AttachSync(clock_, SyncClock::Side::Audio);
    }
    return kOk;
}

HRESULT AudioVideoSync::NotifyVideoTime(std::int64_t start) {
    clock_->Notify(SyncClock::Side::Video, start);
    return kOk;
}

HRESULT AudioVideoSync::NotifyAudioTime(std::int64_t start) {
    clock_->Notify(SyncClock::Side::Audio, start);
    return kOk;
}

}  // namespace tarn
