// Times and durations as users write them on feedcat's command line, read into milliseconds.
#pragma once

#include <cstdint>
#include <string>

namespace feedcat {

// What ParseTimeMs accepts, for messages that refuse a time.
extern const char kTimeForms[];

// "1500" (a bare whole number is milliseconds, as scripts have always written it), "1500ms",
// "1.5s", "MM:SS", "MM:SS.mmm", "HH:MM:SS" or "HH:MM:SS.mmm". A fraction finer than a
// millisecond is rounded to the nearest one. A bare number with a fraction ("1.5") is refused:
// it would be a fraction of a millisecond, and was most likely meant as seconds. False for
// anything else, or for a time past what 32 bits of milliseconds hold (596:31:23.647).
bool ParseTimeMs(const std::string& text, std::int32_t* ms);

// Digits only: a time ParseTimeMs reads as milliseconds although seconds may have been meant.
bool IsBareMilliseconds(const std::string& text);

// "1.500 s", for messages.
std::string FormatSeconds(std::int64_t ms);

}  // namespace feedcat
