// The two functions through which the engine hands every video frame and audio buffer to the
// library: they tell the sync object the time, record the position, apply the fades and call
// the host. Both run on the engine's delivery threads; the context is the SharedFeedState.
//
// Both follow the feed's state: while it is Paused a delivery waits (before it starts, and
// again before it calls the host), so that once FeedPause has returned only a host callback
// already running finishes; once the feed is Idle (stopped) nothing reaches the host.
#pragma once

#include <cstdint>

#include "engine/MediaEngine.h"

namespace session {

struct SharedFeedState;

// Result: the host video callback's result, or (without one, or once stopped) the address of
// the frame handed on: the engine's data, or the session's scratch frame after a blend (valid until
// the next blended frame or the end of the session).
std::intptr_t TARN_CALL OnVideoFrame(void* context, const void* format, std::uint8_t* data,
                                     std::int32_t length, std::int64_t start,
                                     std::int64_t duration);

// Fades the buffer in place. Result: the host audio callback's result, or 0 without one (or
// once stopped).
std::intptr_t TARN_CALL OnAudioBuffer(void* context, const void* format, std::uint8_t* data,
                                      std::int32_t length, std::int64_t start,
                                      std::int64_t duration);

// True on a thread that is inside OnVideoFrame or OnAudioBuffer for this session, which is
// where a host callback runs. Stopping a session from there must not wait for it.
bool IsInsideDelivery(const SharedFeedState& feed);

}  // namespace session
