// AudioVideoSync: keeps a video and an audio timeline within 200 ms of each other. The feed's
// delivery functions report each delivery's time; one that is ahead waits until the other
// catches up, pauses, stops or ends. A side without an acceptor is never waited for.
#pragma once

#include <memory>

#include "tarn/RefCounted.h"
#include "tarn/SyncClock.h"

namespace tarn {

class AudioVideoSync final : public RefCounted<IAudioVideoSync> {
  public:
    AudioVideoSync() : clock_(std::make_shared<SyncClock>()) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE AttachAcceptors(void*, void*, IMediaAcceptor* video, void*, void*,
                                              IMediaAcceptor* audio) override;
    HRESULT STDMETHODCALLTYPE NotifyVideoTime(std::int64_t start) override;
    HRESULT STDMETHODCALLTYPE NotifyAudioTime(std::int64_t start) override;

  private:
    std::shared_ptr<SyncClock> clock_;
};

}  // namespace tarn
