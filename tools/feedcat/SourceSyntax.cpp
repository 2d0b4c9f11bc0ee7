#include "SourceSyntax.h"

#include "TimeSyntax.h"

namespace feedcat {
namespace {

constexpr const char kLavfiPrefix[] = "lavfi:";

bool LooksLikeTimes(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789:.sm-") == std::string::npos &&
           text.find_first_of("0123456789") != std::string::npos;
}

// "START-STOP" into the source's times; false with a reason.
bool ParseTimes(const std::string& times, const std::string& text, SourceArg* source,
                std::string* error) {
    const std::size_t dash = times.find('-');
    std::int32_t start = 0;
    std::int32_t stop = 0;
    const bool read = dash != std::string::npos && ParseTimeMs(times.substr(0, dash), &start) &&
                      ParseTimeMs(times.substr(dash + 1), &stop);
    if (!read) {
        // "1.5" was most likely meant as seconds, but a bare number has always been
        // milliseconds: say which to write instead of guessing.
        std::string hint;
        for (const std::string& side :
             {times.substr(0, dash), dash == std::string::npos ? "" : times.substr(dash + 1)}) {
            if (hint.empty() && side.find('.') != std::string::npos &&
                side.find_first_not_of("0123456789.") == std::string::npos) {
                hint = " ('" + side + "' is no whole number of milliseconds: write " + side +
                       "s for seconds)";
            }
        }
        *error =
            "bad times in source '" + text + "': expected @START-STOP, each " + kTimeForms + hint;
        return false;
    }
    if (stop <= start) {
        *error = "times out of order in source '" + text + "': STOP must be after START";
        return false;
    }
    source->hasTimes = true;
    source->startMs = start;
    source->stopMs = stop;
    return true;
}

}  // namespace

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
    if (at != std::string::npos && LooksLikeTimes(rest.substr(at + 1))) {
        if (!ParseTimes(rest.substr(at + 1), text, source, error)) {
            return false;
        }
        rest.erase(at);
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
    source->given = text;
    return true;
}

}  // namespace feedcat
