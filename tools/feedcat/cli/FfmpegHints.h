// What a user who knows ffmpeg writes, said the feedcat way: for "-r 25" it is "use --fps 25".
// Given with the refusal of an unknown option.
#pragma once

#include <string>

namespace feedcat {

// The hint for option (as written) and the argument after it (null when there is none), or ""
// when option is none of ffmpeg's usual ones.
std::string FfmpegHint(const std::string& option, const char* next);

}  // namespace feedcat
