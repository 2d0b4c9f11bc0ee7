// The engine's five exported functions, and its file reader. No exception leaves them:
// running out of memory fails the call with nothing handed out.
#include <new>

#include "media/MediaInput.h"
#include "tarn/AudioVideoSync.h"
#include "tarn/CallbackAcceptor.h"
#include "tarn/Composite.h"
#include "tarn/MediaReader.h"
#include "tarn/StreamSource.h"

namespace tarn {
namespace {

// The status that tells the feed why `name` could not be opened.
HRESULT OpenStatus(media::OpenFailure failure) {
    switch (failure) {
        case media::OpenFailure::NotFound:
            return kOpenNotFound;
        case media::OpenFailure::PermissionDenied:
            return kOpenDenied;
        case media::OpenFailure::NotAllowed:
            return kOpenNotAllowed;
        case media::OpenFailure::NotMedia:
            return kOpenNotMedia;
        case media::OpenFailure::NoStreams:
            return kOpenNoStreams;
        case media::OpenFailure::None:
            break;
    }
    return kFail;
}

template <typename Interface, typename Make>
HRESULT HandOut(Interface** out, Make make) noexcept {
    if (out == nullptr) {
        return kInvalidArgument;
    }
    *out = nullptr;
    try {
        *out = make();
        return kOk;
    } catch (...) {
        return kFail;
    }
}

}  // namespace
}  // namespace tarn

using tarn::HandOut;
using tarn::kFail;
using tarn::kInvalidArgument;
using tarn::kOk;
using tarn::OpenStatus;

extern "C" {

TARN_API HRESULT TARN_CALL CreateSimpleCompositeSource(void*, IMediaSource** composite) {
    return HandOut(composite, [] { return static_cast<IMediaSource*>(new tarn::Composite()); });
}

TARN_API HRESULT TARN_CALL CreateEmptySource(void*, IMediaSource** source) {
    return HandOut(source,
                   [] { return new tarn::StreamSource({}, kStreamVideo, media::MediaInfo{}); });
}

TARN_API HRESULT TARN_CALL SelectSources(const char* fileName, IMediaSource** video,
                                         std::int32_t* videoLengthMs, IMediaSource** audio,
                                         std::int32_t* audioLengthMs) {
    if (video != nullptr) {
        *video = nullptr;
    }
    if (audio != nullptr) {
        *audio = nullptr;
    }
    if (fileName == nullptr || video == nullptr || audio == nullptr) {
        return kInvalidArgument;
    }
    try {
        media::MediaInfo info;
        media::OpenFailure failure = media::OpenFailure::None;
        if (!media::ProbeMedia(fileName, &info, &failure)) {
            return OpenStatus(failure);
        }
        EngineRef<IMediaSource> videoPart;
        EngineRef<IMediaSource> audioPart;
        if (info.hasVideo) {
            *videoPart.put() = new tarn::StreamSource(fileName, kStreamVideo, info);
        }
        if (info.hasAudio) {
            *audioPart.put() = new tarn::StreamSource(fileName, kStreamAudio, info);
        }
        if (videoLengthMs != nullptr) {
            *videoLengthMs = info.videoLengthMs;
        }
        if (audioLengthMs != nullptr) {
            *audioLengthMs = info.audioLengthMs;
        }
        *video = videoPart.detach();
        *audio = audioPart.detach();
        return kOk;
    } catch (...) {
        return kFail;
    }
}

TARN_API HRESULT TARN_CALL CreateCallBackMediaAcceptor(void*, AcceptorCallback callback,
                                                       void* context, IMediaAcceptor** acceptor) {
    if (callback == nullptr) {
        if (acceptor != nullptr) {
            *acceptor = nullptr;
        }
        return kInvalidArgument;
    }
    return HandOut(acceptor, [&] { return new tarn::CallbackAcceptor(callback, context); });
}

TARN_API HRESULT TARN_CALL CreateAudioVideoSync(void*, IAudioVideoSync** sync) {
    return HandOut(sync, [] { return new tarn::AudioVideoSync(); });
}

TARN_API HRESULT TARN_CALL CreateMediaReader(void*, IMediaReader** reader) {
    return HandOut(reader, [] { return static_cast<IMediaReader*>(new tarn::MediaReader()); });
}
}
