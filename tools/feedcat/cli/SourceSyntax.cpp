#include "cli/SourceSyntax.h"

#include "cli/TimeSyntax.h"

namespace feedcat {
namespace {

constexpr const char kLavfiPrefix[] = "lavfi:";
constexpr std::int32_t kSecondMs = 1000;

bool LooksLikeTimes(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789:.sm-") == std::string::npos &&
           text.find_first_of("0123456789") != std::string::npos;
}

// "START-STOP", "START-" or "-STOP" into the source's times; false with a reason.
bool ParseTimes(const std::string& times, const std::string& text, SourceArg* source,
                std::string* error, std::string* warning) {
    const std::size_t dash = times.find('-');
    if (dash == 0 && times.find('-', 1) != std::string::npos) {
        *error = "bad times in source '" + text +
                 "': START cannot be negative (a clip cannot begin before its file does; "
                 "@-STOP means from the start)";
        return false;
    }
    const std::string startText = dash == std::string::npos ? times : times.substr(0, dash);
    const std::string stopText = dash == std::string::npos ? "" : times.substr(dash + 1);
    std::int32_t start = 0;
    std::int32_t stop = 0;
    const bool read = dash != std::string::npos && !(startText.empty() && stopText.empty()) &&
                      (startText.empty() || ParseTimeMs(startText, &start)) &&
                      (stopText.empty() || ParseTimeMs(stopText, &stop));
    if (!read) {
        // "1.5" was most likely meant as seconds, but a bare number has always been
        // milliseconds: say which to write instead of guessing.
        std::string hint;
        for (const std::string& side : {startText, stopText}) {
            if (hint.empty() && side.find('.') != std::string::npos &&
                side.find_first_not_of("0123456789.") == std::string::npos) {
                hint = " ('" + side + "' is no whole number of milliseconds: write " + side +
                       "s for seconds)";
            }
        }
        *error = "bad times in source '" + text + "': expected @START-STOP, @START- (to the end) " +
                 "or @-STOP (from the start), each " + kTimeForms + hint;
        return false;
    }
    source->openEnd = stopText.empty();
    if (!source->openEnd && stop <= start) {
        *error = "times out of order in source '" + text + "': STOP must be after START" +
                 (stop == start ? " (an empty span plays nothing)" : "");
        return false;
    }
    source->hasTimes = true;
    source->startMs = start;
    source->stopMs = stop;
    // Only a span whose every written time is a bare number: "@0-5s" knows its units.
    if (!source->openEnd && (startText.empty() || IsBareMilliseconds(startText)) &&
        IsBareMilliseconds(stopText)) {
        // 0 needs no unit: "0-5s".
        const std::string from = startText.empty() || start == 0 ? startText : startText + "s";
        const std::string seconds = from + "-" + stopText + "s";
        *warning = BareMillisecondsWarning("@" + times, seconds, stop - start);
    }
    return true;
}

}  // namespace

std::string BareMillisecondsWarning(const std::string& where, const std::string& seconds,
                                    std::int32_t ms) {
    if (ms >= kSecondMs) {
        return "";
    }
    return "'" + where + "' is " + std::to_string(ms) +
           " ms: bare numbers are milliseconds; write " + seconds + " for seconds";
}

bool ParseSource(const std::string& text, SourceArg* source, std::string* error,
                 std::string* warning) {
    warning->clear();
    std::string rest = text;
    source->kind = SourceKind::kBoth;
    source->kindGiven = true;
    if (text.compare(0, 2, "v:") == 0) {
        source->kind = SourceKind::kVideo;
        rest = text.substr(2);
    } else if (text.compare(0, 2, "a:") == 0) {
        source->kind = SourceKind::kAudio;
        rest = text.substr(2);
    } else if (text.compare(0, 3, "av:") == 0) {
        rest = text.substr(3);
    } else {
        source->kindGiven = false;
    }
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos && LooksLikeTimes(rest.substr(at + 1))) {
        if (!ParseTimes(rest.substr(at + 1), text, source, error, warning)) {
            return false;
        }
        rest.erase(at);
    }
    if (rest.empty()) {
        *error = "source '" + text + "' names no file";
        return false;
    }
    if ((!source->hasTimes || source->openEnd) &&
        rest.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) == 0) {
        *error = "source '" + text +
                 "' needs explicit times (@START-STOP): a lavfi: graph has no known length";
        return false;
    }
    source->file = rest;
    source->given = text;
    return true;
}

}  // namespace feedcat
