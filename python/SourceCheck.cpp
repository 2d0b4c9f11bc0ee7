#include "SourceCheck.h"

#include <algorithm>

#include "media/MediaInput.h"

namespace feedpy {

SourceCheck CheckSource(const std::string& name, bool video) {
    SourceCheck check;
    media::MediaInfo info;
    if (!media::ProbeMedia(name, &info)) {
        return check;  // the engine cannot open it either: it would play as black or silence
    }
    if (!(video ? info.hasVideo : info.hasAudio)) {
        check.status = SourceStatus::NoStream;
        return check;
    }
    check.status = SourceStatus::Plays;
    check.lengthMs = video ? info.videoLengthMs : info.audioLengthMs;
    return check;
}

}  // namespace feedpy
