#include "session/SelectSource.h"

namespace session {

EngineRef<IMediaSource> SelectSource(const char* fileName, StreamKind kind, bool* usedEmpty) {
    *usedEmpty = false;
    if (fileName != nullptr) {
        IMediaSource* video = nullptr;
        IMediaSource* audio = nullptr;
        std::int32_t videoLengthMs = 0;
        std::int32_t audioLengthMs = 0;
        // On failure the engine hands out nothing, so there is nothing to release.
        if (SelectSources(fileName, &video, &videoLengthMs, &audio, &audioLengthMs) >= 0) {
            EngineRef<IMediaSource> videoPart;
            EngineRef<IMediaSource> audioPart;
            *videoPart.put() = video;
            *audioPart.put() = audio;
            EngineRef<IMediaSource>& wanted = kind == kStreamVideo ? videoPart : audioPart;
            EngineRef<IMediaSource>& unwanted = kind == kStreamVideo ? audioPart : videoPart;
            unwanted.reset();
            if (wanted) {
                return std::move(wanted);
            }
        }
    }
    EngineRef<IMediaSource> empty;
    CreateEmptySource(nullptr, empty.put());
    if (empty) {
        empty->Prepare(nullptr, kind);
    }
    *usedEmpty = true;
    return empty;
}

}  // namespace session
