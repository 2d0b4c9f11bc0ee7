#include "cli/TimeSyntax.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace feedcat {

const char kTimeForms[] =
    "milliseconds (1500), 1500ms, seconds (1.5s), MM:SS(.mmm) or HH:MM:SS(.mmm)";

namespace {

constexpr std::int64_t kMostMs = INT32_MAX;

bool AllDigits(const std::string& text) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// "12" or "12.345678": whole units and a fraction, as thousandths rounded to nearest.
bool ParseDecimal(const std::string& text, std::int64_t* whole, std::int64_t* thousandths) {
    const std::size_t dot = text.find('.');
    const std::string integer = text.substr(0, dot);
    if (!AllDigits(integer)) {
        return false;
    }
    *whole = std::stoll(integer);
    *thousandths = 0;
    if (dot == std::string::npos) {
        return true;
    }
    const std::string fraction = text.substr(dot + 1);
    if (!AllDigits(fraction)) {
        return false;
    }
    // The first four digits decide: three kept, the fourth rounds.
    std::int64_t scaled = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        scaled = scaled * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    *thousandths = (scaled + 5) / 10;
    return true;
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t colon = text.find(':', begin);
        fields.push_back(text.substr(begin, colon - begin));
        if (colon == std::string::npos) {
            return fields;
        }
        begin = colon + 1;
    }
}

// MM:SS(.mmm) or HH:MM:SS(.mmm); the leading field may be any size, the others below 60.
bool ParseClock(const std::string& text, std::int64_t* ms) {
    const std::vector<std::string> fields = SplitColons(text);
    if (fields.size() < 2 || fields.size() > 3) {
        return false;
    }
    std::int64_t total = 0;
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        if (!AllDigits(fields[i])) {
            return false;
        }
        const std::int64_t value = std::stoll(fields[i]);
        if (i > 0 && value >= 60) {
            return false;
        }
        total = total * 60 + value;
    }
    std::int64_t seconds = 0;
    std::int64_t thousandths = 0;
    if (!ParseDecimal(fields.back(), &seconds, &thousandths) || seconds >= 60) {
        return false;
    }
    *ms = (total * 60 + seconds) * 1000 + thousandths;
    return true;
}

bool EndsWith(const std::string& text, const char* suffix, std::string* stem) {
    const std::string end = suffix;
    if (text.size() <= end.size() || text.compare(text.size() - end.size(), end.size(), end)) {
        return false;
    }
    *stem = text.substr(0, text.size() - end.size());
    return true;
}

}  // namespace

bool ParseTimeMs(const std::string& text, std::int32_t* ms) {
    std::int64_t value = 0;
    std::string stem;
    std::int64_t whole = 0;
    std::int64_t thousandths = 0;
    if (AllDigits(text)) {
        value = std::stoll(text);
    } else if (text.find(':') != std::string::npos) {
        if (!ParseClock(text, &value)) {
            return false;
        }
    } else if (EndsWith(text, "ms", &stem)) {
        if (!ParseDecimal(stem, &whole, &thousandths) || thousandths != 0) {
            return false;  // no fractions of a millisecond
        }
        value = whole;
    } else if (EndsWith(text, "s", &stem)) {
        if (!ParseDecimal(stem, &whole, &thousandths)) {
            return false;
        }
        value = whole * 1000 + thousandths;
    } else {
        return false;
    }
    if (value > kMostMs) {
        return false;
    }
    *ms = static_cast<std::int32_t>(value);
    return true;
}

bool IsBareMilliseconds(const std::string& text) {
    return AllDigits(text);
}

std::string FormatSeconds(std::int64_t ms) {
    char text[40];
    std::snprintf(text, sizeof(text), "%s%lld.%03lld s", ms < 0 ? "-" : "",
                  static_cast<long long>((ms < 0 ? -ms : ms) / 1000),
                  static_cast<long long>((ms < 0 ? -ms : ms) % 1000));
    return text;
}

}  // namespace feedcat
