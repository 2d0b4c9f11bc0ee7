#include "ArgumentParser.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace feedcat {
namespace {

constexpr std::int32_t kMaxSide = 16384;
constexpr const char kLavfiPrefix[] = "lavfi:";

bool ParseInt(const std::string& text, long long low, long long high, std::int32_t* value) {
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

bool ParseColour(std::string text, std::uint32_t* colour) {
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

// "MS" or "MS:RRGGBB".
bool ParseVideoFade(const std::string& text, VideoFade* fade) {
    const std::size_t colon = text.find(':');
    std::int32_t length = 0;
    if (!ParseInt(text.substr(0, colon), 1, INT32_MAX, &length)) {
        return false;
    }
    std::uint32_t colour = 0x000000;
    if (colon != std::string::npos && !ParseColour(text.substr(colon + 1), &colour)) {
        return false;
    }
    fade->enabled = true;
    fade->lengthMs = length;
    fade->colour = colour;
    return true;
}

bool ParseSize(const std::string& text, std::int32_t* width, std::int32_t* height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        return false;
    }
    return ParseInt(text.substr(0, x), 2, kMaxSide, width) &&
           ParseInt(text.substr(x + 1), 2, kMaxSide, height);
}

bool ParseFps(const std::string& text, double* fps) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 1.0 || value > 1000.0) {
        return false;
    }
    *fps = value;
    return true;
}

// "v:FILE", "a:FILE" or "av:FILE", each optionally followed by "@START-STOP". A trailing "@..."
// that is not two numbers belongs to the file name.
bool ParseSource(const std::string& text, SourceArg* source, std::string* error) {
    std::string rest;
    if (text.compare(0, 2, "v:") == 0) {
        source->kind = SourceKind::kVideo;
        rest = text.substr(2);
    } else if (text.compare(0, 2, "a:") == 0) {
        source->kind = SourceKind::kAudio;
        rest = text.substr(2);
    } else if (text.compare(0, 3, "av:") == 0) {
        source->kind = SourceKind::kBoth;
        rest = text.substr(3);
    } else {
        *error = "source '" + text + "' must start with v:, a: or av:";
        return false;
    }
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        const std::string times = rest.substr(at + 1);
        const std::size_t dash = times.find('-', 1);
        std::int32_t start = 0;
        std::int32_t stop = 0;
        if (dash != std::string::npos && ParseInt(times.substr(0, dash), 0, INT32_MAX, &start) &&
            ParseInt(times.substr(dash + 1), 0, INT32_MAX, &stop)) {
            if (stop <= start) {
                *error = "times out of order in source '" + text + "': STOP must be after START";
                return false;
            }
            source->hasTimes = true;
            source->startMs = start;
            source->stopMs = stop;
            rest.erase(at);
        } else if (times.find_first_not_of("0123456789-") == std::string::npos && !times.empty()) {
            *error = "bad times in source '" + text + "': expected @START-STOP in milliseconds";
            return false;
        }
    }
    if (rest.empty()) {
        *error = "source '" + text + "' names no file";
        return false;
    }
    if (!source->hasTimes && rest.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) == 0) {
        *error = "source '" + text +
                 "' needs explicit times (@START-STOP): a lavfi: graph has no known length";
        return false;
    }
    source->file = rest;
    return true;
}

}  // namespace

ParseResult ParseArguments(int argc, const char* const* argv) {
    ParseResult result;
    Options& options = result.options;
    bool outputGiven = false;

    auto fail = [&result](const std::string& message) {
        result.action = ParseResult::Action::kError;
        result.error = message;
        return result;
    };

    using Handler = std::function<bool(const std::string&)>;
    // Options that take a value; each handler reads it or returns false.
    const std::map<std::string, Handler> valued = {
        {"--size",
         [&](const std::string& v) { return ParseSize(v, &options.width, &options.height); }},
        {"--fps", [&](const std::string& v) { return ParseFps(v, &options.fps); }},
        {"--sample-rate",
         [&](const std::string& v) { return ParseInt(v, 1000, 384000, &options.sampleRate); }},
        {"--channels", [&](const std::string& v) { return ParseInt(v, 1, 2, &options.channels); }},
        {"--video-fade-in",
         [&](const std::string& v) { return ParseVideoFade(v, &options.videoFadeIn); }},
        {"--video-fade-out",
         [&](const std::string& v) { return ParseVideoFade(v, &options.videoFadeOut); }},
        {"--audio-fade-in",
         [&](const std::string& v) {
             options.audioFadeIn.enabled = true;
             return ParseInt(v, 1, INT32_MAX, &options.audioFadeIn.lengthMs);
         }},
        {"--audio-fade-out",
         [&](const std::string& v) {
             options.audioFadeOut.enabled = true;
             return ParseInt(v, 1, INT32_MAX, &options.audioFadeOut.lengthMs);
         }},
        {"--clip-mode",
         [&](const std::string& v) {
             static const std::map<std::string, std::int32_t> modes = {
                 {"stretch", 0}, {"fit", 1}, {"fill", 2}};
             const auto found = modes.find(v);
             if (found == modes.end()) {
                 return false;
             }
             options.clipMode = found->second;
             return true;
         }},
        {"--bars",
         [&](const std::string& v) {
             options.hasBars = true;
             return ParseColour(v, &options.barsColour);
         }},
        {"--format",
         [&](const std::string& v) {
             options.format = v;
             return !v.empty();
         }},
        {"--video-codec",
         [&](const std::string& v) {
             options.videoCodec = v;
             return !v.empty();
         }},
        {"--audio-codec",
         [&](const std::string& v) {
             options.audioCodec = v;
             return !v.empty();
         }},
        {"--output",
         [&](const std::string& v) {
             options.output = v;
             outputGiven = true;
             return !v.empty();
         }},
    };
    const std::map<std::string, bool*> flags = {{"--quiet", &options.quiet},
                                                {"--json", &options.json},
                                                {"--strict", &options.strict},
                                                {"--demo", &options.demo}};
    bool noSync = false;

    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            SourceArg source;
            std::string error;
            if (!ParseSource(arg, &source, &error)) {
                return fail(error);
            }
            options.sources.push_back(source);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            result.action = ParseResult::Action::kHelp;
            return result;
        }
        if (arg == "--version") {
            result.action = ParseResult::Action::kVersion;
            return result;
        }
        if (arg == "--no-sync") {
            noSync = true;
            continue;
        }
        const auto flag = flags.find(arg);
        if (flag != flags.end()) {
            *flag->second = true;
            continue;
        }
        std::string name = arg == "-o" ? "--output" : arg;
        std::string value;
        bool hasValue = false;
        const std::size_t equals = name.find('=');
        if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
            hasValue = true;
        }
        const auto handler = valued.find(name);
        if (handler == valued.end()) {
            return fail("unknown option '" + arg + "' (see --help)");
        }
        if (!hasValue) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                return fail("option '" + name + "' needs a value");
            }
            value = argv[++i];
        }
        if (!handler->second(value)) {
            return fail("bad value '" + value + "' for option '" + name + "'");
        }
    }
    options.sync = !noSync;

    if (options.demo) {
        if (!options.sources.empty()) {
            return fail("--demo brings its own sources: give no SOURCE with it");
        }
        if (!outputGiven) {
            options.output = "demo.mp4";
        }
    } else if (options.sources.empty()) {
        return fail("no SOURCE given (see --help)");
    }
    if (options.output.empty()) {
        return fail("no output given: add -o OUTPUT");
    }
    if (options.output == "-" && options.json) {
        return fail("--json writes to standard output, which -o - already uses");
    }
    if (options.output == "-" && options.format.empty()) {
        return fail("-o - needs --format NAME (for example --format nut)");
    }
    result.action = ParseResult::Action::kRun;
    return result;
}

}  // namespace feedcat
