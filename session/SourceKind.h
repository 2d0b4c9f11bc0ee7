// A source's kind and its other spellings, converted here and nowhere else: the public
// FeedSourceKind (FEED_SOURCE_AUDIO 0, FEED_SOURCE_VIDEO 1), the feed's SourceKind, which keeps
// those values, and the engine's StreamKind, which counts the other way round (video 0, audio
// 1). The engine's sync object names its two sides after the same pair (tarn's SyncClock::Side,
// video 0, audio 1, as StreamKind).
#pragma once

#include <cstdint>

#include <feed/feed.h>

#include "engine/MediaEngine.h"

namespace session {

enum class SourceKind : std::uint8_t { Audio = FEED_SOURCE_AUDIO, Video = FEED_SOURCE_VIDEO };

constexpr StreamKind StreamKindOf(SourceKind kind) {
    return kind == SourceKind::Video ? kStreamVideo : kStreamAudio;
}

constexpr SourceKind SourceKindOf(StreamKind kind) {
    return kind == kStreamVideo ? SourceKind::Video : SourceKind::Audio;
}

// The kind as messages name it.
constexpr const char* KindName(SourceKind kind) {
    return kind == SourceKind::Video ? "video" : "audio";
}
constexpr const char* KindName(StreamKind kind) {
    return KindName(SourceKindOf(kind));
}

}  // namespace session
