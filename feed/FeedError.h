// The feed's result codes and their fixed messages. The code selects the message of a
// refusal; the feed itself keeps only 0 or -1 as its last result.
#pragma once

#include <cstdint>

namespace feed {

enum FeedError : std::int32_t {
    kFeedOk = 0,
    kFeedWrongState = 1,  // the operation is not allowed in the feed's current state
    kFeedMediaProblem = 2,
    kFeedNoAudioStream = 3,
    kFeedNoVideoStream = 4,
    kFeedDurationUnknown = 5,
    kFeedBadTimes = 6,
    kFeedBadSourceId = 7,
    kFeedNoOutputFile = 8,
    kFeedNoInputFile = 9,
};

// The message of a code; "" for 0 and for codes outside 0 to 9. A static text.
const char* FeedErrorText(std::int32_t code);

// Messages of the format setters that have no code of their own.
inline constexpr const char kBadVideoWidth[] = "Bad video width";
inline constexpr const char kBadVideoHeight[] = "Bad video height";
inline constexpr const char kTooManyChannels[] = "Audio channels exeed 3 not supported yet";
inline constexpr const char kBadChannelCount[] = "Bad audio channel";

}  // namespace feed
