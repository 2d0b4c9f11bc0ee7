// A media engine that has no media: every function fails, so that a session built on it ends
// while being built. It stands in for the FFmpeg engine until that one lands.
#include "engine/MediaEngine.h"

namespace {
constexpr HRESULT kNotImplemented = static_cast<HRESULT>(0x80004001u);

template <typename T>
HRESULT NoObject(T** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return kNotImplemented;
}
}  // namespace

extern "C" {

TARN_API HRESULT TARN_CALL CreateSimpleCompositeSource(void*, IMediaSource** composite) {
    return NoObject(composite);
}

TARN_API HRESULT TARN_CALL CreateEmptySource(void*, IMediaSource** source) {
    return NoObject(source);
}

TARN_API HRESULT TARN_CALL SelectSources(const char*, IMediaSource** video, std::int32_t*,
                                         IMediaSource** audio, std::int32_t*) {
    NoObject(video);
    return NoObject(audio);
}

TARN_API HRESULT TARN_CALL CreateCallBackMediaAcceptor(void*, AcceptorCallback, void*,
                                                       IMediaAcceptor** acceptor) {
    return NoObject(acceptor);
}

TARN_API HRESULT TARN_CALL CreateAudioVideoSync(void*, IAudioVideoSync** sync) {
    return NoObject(sync);
}
}
