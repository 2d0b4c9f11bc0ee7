#include "tarn/StreamSource.h"

#include "engine/TimeUnits.h"

#include <utility>

namespace tarn {

StreamSource::StreamSource(std::string name, StreamKind kind, const media::MediaInfo& info)
    : name_(std::move(name)), kind_(kind), info_(info) {}

HRESULT StreamSource::QueryInterface(REFIID iid, void** object) {
    return QuerySoleInterface<IMediaSource>(iid, object);
}

HRESULT StreamSource::Prepare(void*, std::int32_t streamKind) {
    return streamKind == kStreamVideo || streamKind == kStreamAudio ? kOk : kInvalidArgument;
}

HRESULT StreamSource::GetDuration(std::int64_t* duration) {
    if (duration == nullptr) {
        return kInvalidArgument;
    }
    const std::int32_t lengthMs = kind_ == kStreamVideo ? info_.videoLengthMs : info_.audioLengthMs;
    *duration = lengthMs < 0 ? -1 : MsToUnits(lengthMs);
    return lengthMs < 0 ? kFail : kOk;
}

HRESULT StreamSource::IsEnded(std::int32_t* ended) {
    if (ended == nullptr) {
        return kInvalidArgument;
    }
    *ended = 1;  // nothing is ever delivered by a source on its own
    return kOk;
}

}  // namespace tarn
