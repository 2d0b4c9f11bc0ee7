#include "cli/OptionValues.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

#include "cli/TimeSyntax.h"

extern "C" {
#include <libavutil/parseutils.h>
}

namespace feedcat {

const char kPresetNames[] =
    "ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow or placebo";

bool ReadInteger(const std::string& text, long long low, long long high, std::int32_t* value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-')) {
            return false;
        }
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str() || parsed < low || parsed > high) {
        return false;
    }
    *value = static_cast<std::int32_t>(parsed);
    return true;
}

bool ReadSize(const std::string& text, std::int32_t* width, std::int32_t* height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        return false;
    }
    std::int32_t w = 0;
    std::int32_t h = 0;
    if (!ReadInteger(text.substr(0, x), 2, kMostSide, &w) ||
        !ReadInteger(text.substr(x + 1), 2, kMostSide, &h)) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool ReadFrameRate(const std::string& text, FrameRate* rate) {
    // av_parse_video_rate also reads "30000:1001" and the names; a plain decimal comes back as
    // the nearest fraction with a denominator up to 1001000, as the library reads a double.
    AVRational parsed{0, 1};
    if (text.empty() || av_parse_video_rate(&parsed, text.c_str()) < 0 || parsed.num <= 0 ||
        parsed.den <= 0) {
        return false;
    }
    const double value = av_q2d(parsed);
    if (!std::isfinite(value) || value < 1.0 || value > kMostFrameRate) {
        return false;
    }
    rate->num = parsed.num;
    rate->den = parsed.den;
    return true;
}

bool ReadColour(std::string text, std::uint32_t* colour) {
    if (!text.empty() && text[0] == '#') {
        text.erase(0, 1);
    }
    if (text.size() != 6) {
        return false;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    *colour = value;
    return true;
}

bool ReadVideoFade(const std::string& text, VideoFade* fade) {
    // The colour follows the last colon when six hex digits do; otherwise every colon belongs
    // to the time ("0:01.5").
    std::string time = text;
    std::uint32_t colour = 0x000000;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos && ReadColour(text.substr(colon + 1), &colour)) {
        time = text.substr(0, colon);
    }
    std::int32_t length = 0;
    if (!ParseTimeMs(time, &length) || length <= 0) {
        return false;
    }
    *fade = VideoFade{true, IsBareMilliseconds(time), length, colour};
    return true;
}

bool ReadAudioFade(const std::string& text, AudioFade* fade) {
    std::int32_t length = 0;
    if (!ParseTimeMs(text, &length) || length <= 0) {
        return false;
    }
    *fade = AudioFade{true, IsBareMilliseconds(text), length};
    return true;
}

bool ReadClipMode(const std::string& text, std::int32_t* mode) {
    static const std::map<std::string, std::int32_t> modes = {
        {"stretch", 0}, {"fit", 1}, {"fill", 2}};
    const auto found = modes.find(text);
    if (found == modes.end()) {
        return false;
    }
    *mode = found->second;
    return true;
}

bool ReadCrop(const std::string& text, std::array<std::int32_t, 4>* crop, bool* given) {
    std::array<std::int32_t, 4> values{};
    std::size_t begin = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t comma = text.find(',', begin);
        if ((i + 1 < values.size()) == (comma == std::string::npos)) {
            return false;  // fewer or more than four values
        }
        if (!ReadInteger(text.substr(begin, comma - begin), -1, INT32_MAX, &values[i])) {
            return false;
        }
        begin = comma + 1;
    }
    const bool none = values == std::array<std::int32_t, 4>{-1, -1, -1, -1};
    if (!none &&
        (values[0] < 0 || values[1] < 0 || values[2] <= values[0] || values[3] <= values[1])) {
        return false;
    }
    *crop = values;
    *given = !none;
    return true;
}

bool ReadCrf(const std::string& text, double* crf) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0.0 ||
        value > 63.0) {
        return false;
    }
    *crf = value;
    return true;
}

bool ReadPreset(const std::string& text, std::string* preset) {
    static const char* const names[] = {"ultrafast", "superfast", "veryfast", "faster",
                                        "fast",      "medium",    "slow",     "slower",
                                        "veryslow",  "placebo"};
    for (const char* name : names) {
        if (text == name) {
            *preset = text;
            return true;
        }
    }
    return false;
}

bool ReadBitrate(const std::string& text, std::int64_t* bitsPerSecond) {
    if (text.empty() || !(text[0] >= '0' && text[0] <= '9')) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    const std::string unit = end;
    if (unit == "k" || unit == "K") {
        value *= 1e3;
    } else if (unit == "M" || unit == "m") {
        value *= 1e6;
    } else if (!unit.empty()) {
        return false;
    }
    // From 1 kb/s to 1 Gb/s: anything outside is a typo.
    if (errno != 0 || !std::isfinite(value) || value < 1e3 || value > 1e9) {
        return false;
    }
    *bitsPerSecond = std::llround(value);
    return true;
}

bool ReadLogLevel(const std::string& text, LogLevel* level) {
    static const std::map<std::string, LogLevel> names = {
        {"quiet", LogLevel::kQuiet},     {"panic", LogLevel::kError},
        {"fatal", LogLevel::kError},     {"error", LogLevel::kError},
        {"warning", LogLevel::kWarning}, {"info", LogLevel::kInfo},
        {"verbose", LogLevel::kVerbose}, {"debug", LogLevel::kDebug},
        {"trace", LogLevel::kTrace}};
    const auto found = names.find(text);
    if (found != names.end()) {
        *level = found->second;
        return true;
    }
    std::int32_t number = 0;
    if (!ReadInteger(text, -8, 56, &number)) {
        return false;
    }
    // A number falls to the named level at or below it, as FFmpeg compares them.
    LogLevel chosen = LogLevel::kQuiet;
    for (const auto& [name, named] : names) {
        if (static_cast<int>(named) <= number &&
            static_cast<int>(named) > static_cast<int>(chosen)) {
            chosen = named;
        }
    }
    *level = chosen;
    return true;
}

}  // namespace feedcat
