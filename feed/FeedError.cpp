#include "feed/FeedError.h"

namespace feed {

namespace {

// Indexed by code. The texts are the library's own, spelling included: hosts match them.
constexpr const char* kMessages[] = {
    "",
    "Can not perform the operation when the object in current context",
    "The media has problem",
    "The media has no audio stream",
    "The media has no video stream",
    "Detect media duration failed",
    "Start time or Stop time invalid",
    "Source index invalid",
    "Output file not set",
    "No inut file",
};

}  // namespace

const char* FeedErrorText(std::int32_t code) {
    // Taken as unsigned, a negative code is out of range like one above 9.
    const auto index = static_cast<std::uint32_t>(code);
    return index < sizeof(kMessages) / sizeof(kMessages[0]) ? kMessages[index] : "";
}

}  // namespace feed
