#include "media/LavfiGraphCheck.h"

#include <cstring>
#include <memory>
#include <set>

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/mem.h>
}

namespace media {
namespace {
// Generators and processing filters whose options name no file, URL or device.
const std::set<std::string>& AllowedFilters() {
    static const std::set<std::string> allowed = {
        // video generators
        "allrgb", "allyuv", "color", "gradients", "haldclutsrc", "mandelbrot", "nullsrc",
        "pal100bars", "pal75bars", "rgbtestsrc", "sierpinski", "smptebars", "smptehdbars",
        "testsrc", "testsrc2", "yuvtestsrc",
        // audio generators
        "aevalsrc", "anoisesrc", "anullsrc", "hilbert", "sinc", "sine",
        // video processing
        "boxblur", "concat", "crop", "drawbox", "drawgrid", "eq", "fade", "format", "fps",
        "framerate", "gblur", "hflip", "hstack", "hue", "loop", "negate", "noise", "null",
        "overlay", "pad", "reverse", "rotate", "scale", "select", "setdar", "setpts", "setsar",
        "settb", "split", "tile", "tpad", "transpose", "trim", "vflip", "vstack", "xstack",
        // audio processing
        "aecho", "afade", "aformat", "aloop", "amerge", "amix", "anull", "apad", "aresample",
        "areverse", "aselect", "asetpts", "asetrate", "asettb", "asplit", "atempo", "atrim",
        "channelmap", "highpass", "join", "lowpass", "pan", "tremolo", "vibrato", "volume"};
    return allowed;
}

struct TokenFreer {
    void operator()(char* token) const { av_free(token); }
};
using Token = std::unique_ptr<char, TokenFreer>;

constexpr const char* kWhitespace = " \n\t\r";

void SkipWhitespace(const char** text) {
    *text += std::strspn(*text, kWhitespace);
}

// The lavfi device names a graph's outputs out0, out1, ...; a second output is refused: FFmpeg
// 5.1's device leaks the frame it holds for each further output when it is closed, and a
// reader takes one stream anyway.
bool IsSecondOutput(const char* label) {
    if (std::strncmp(label, "out", 3) != 0 || label[3] == '\0') {
        return false;
    }
    bool zero = true;
    for (const char* digit = label + 3; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
        zero = zero && *digit == '0';
    }
    return !zero;
}

// "[label]" groups before or after a filter.
bool SkipLinkLabels(const char** text) {
    SkipWhitespace(text);
    while (**text == '[') {
        ++*text;
        Token label(av_get_token(text, "]"));
        if (!label || *label == '\0' || **text != ']' || IsSecondOutput(label.get())) {
            return false;
        }
        ++*text;
        SkipWhitespace(text);
    }
    return true;
}

bool IsAllowedFilter(const char** text) {
    Token name(av_get_token(text, "=,;["));
    if (!name) {
        return false;
    }
    std::string filter(name.get());
    const std::size_t instance = filter.find('@');  // "name@id" names one instance
    if (instance != std::string::npos) {
        filter.erase(instance);
    }
    if (AllowedFilters().count(filter) == 0) {
        return false;
    }
    if (**text == '=') {
        ++*text;
        Token options(av_get_token(text, "[],;"));
        if (!options) {
            return false;
        }
        // Newer FFmpeg reads an option's value from a file when its name starts with '/'.
        const std::string arguments(options.get());
        if ((!arguments.empty() && arguments[0] == '/') ||
            arguments.find(":/") != std::string::npos) {
            return false;
        }
    }
    return true;
}
}  // namespace

// Walks the graph the way libavfilter's parser splits it: an optional "sws_flags=...;" head,
// then filters separated by ',' (chain) or ';' (graph), each with optional link labels.
bool IsAllowedLavfiGraph(const std::string& graph) {
    const char* text = graph.c_str();
    SkipWhitespace(&text);
    if (std::strncmp(text, "sws_flags=", 10) == 0) {
        text = std::strchr(text, ';');
        if (text == nullptr) {
            return false;
        }
        ++text;
    }
    char separator = 0;
    do {
        if (!SkipLinkLabels(&text) || !IsAllowedFilter(&text) || !SkipLinkLabels(&text)) {
            return false;
        }
        separator = *text;
        if (separator != '\0') {
            ++text;
        }
    } while (separator == ',' || separator == ';');
    return separator == '\0';
}

}  // namespace media
