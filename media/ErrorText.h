// FFmpeg's error codes as text, for messages that say why something failed.
#pragma once

#include <string>

namespace media {

// The text of an AVERROR code, e.g. "Broken pipe" or "Invalid data found when processing input".
std::string ErrorText(int code);

}  // namespace media
