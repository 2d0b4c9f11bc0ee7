// What the output's streams were made with, as chosen when each began: for the summary and
// --json. For a "null" output, what the library delivered (no encoder).
#pragma once

#include <string>

namespace feedcat {

struct VideoChoice {
    bool present = false;
    std::string encoder;  // "" when nothing was encoded
    int width = 0;
    int height = 0;
    int rateNum = 0;  // frames per second as a fraction (30000/1001)
    int rateDen = 1;
    std::string pixelFormat;  // FFmpeg's name: "yuv420p"
};

struct AudioChoice {
    bool present = false;
    std::string encoder;
    int sampleRate = 0;
    int channels = 0;
    std::string sampleFormat;  // FFmpeg's name: "fltp"
};

}  // namespace feedcat
