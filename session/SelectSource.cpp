#include "session/SelectSource.h"

namespace session {

namespace {

// The file's source of `kind`, null when it does not open or lacks that stream; *found says
// what the engine said of the file.
EngineRef<IMediaSource> OpenStream(const char* fileName, StreamKind kind, SourceFinding* found) {
    IMediaSource* video = nullptr;
    IMediaSource* audio = nullptr;
    std::int32_t videoLengthMs = -1;
    std::int32_t audioLengthMs = -1;
    // On failure the engine hands out nothing, so there is nothing to release.
    found->openStatus = SelectSources(fileName, &video, &videoLengthMs, &audio, &audioLengthMs);
    if (found->openStatus < 0) {
        return {};
    }
    EngineRef<IMediaSource> videoPart;
    EngineRef<IMediaSource> audioPart;
    *videoPart.put() = video;
    *audioPart.put() = audio;
    EngineRef<IMediaSource>& wanted = kind == kStreamVideo ? videoPart : audioPart;
    found->hasStream = static_cast<bool>(wanted);
    found->streamLengthMs = kind == kStreamVideo ? videoLengthMs : audioLengthMs;
    return std::move(wanted);  // the other part is released here
}

}  // namespace

EngineRef<IMediaSource> SelectSource(const char* fileName, StreamKind kind, bool* usedEmpty,
                                     SourceFinding* finding) {
    *usedEmpty = false;
    SourceFinding found;
    EngineRef<IMediaSource> source;
    if (fileName != nullptr) {
        source = OpenStream(fileName, kind, &found);
    }
    if (finding != nullptr) {
        *finding = found;
    }
    if (source) {
        return source;
    }
    CreateEmptySource(nullptr, source.put());
    if (source) {
        source->Prepare(nullptr, kind);
    }
    *usedEmpty = true;
    return source;
}

}  // namespace session
