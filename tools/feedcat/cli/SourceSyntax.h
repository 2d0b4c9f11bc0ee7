// One SOURCE argument: "[v:|a:|av:]FILE", optionally followed by "@START-STOP". Without a
// prefix the file goes onto both timelines, or onto the one of the only stream it has (see
// SourceCheck); either time may be left out: "@2s-" runs to the end of the file, "@-10s" from
// its start.
#pragma once

#include <string>

#include "cli/Options.h"

namespace feedcat {

// Fills source, or returns false with a one-line reason (naming what is accepted) in error.
// A trailing "@..." is times when it is made of digits and the characters of times
// (":", ".", "s", "m", "-"), and then it must be START-STOP; anything else after "@" belongs
// to the file name ("clip@home.mp4", "icon@2x.png"). warning is set (else emptied) when the
// span is written in bare numbers and lasts less than a second: most likely seconds were
// meant.
bool ParseSource(const std::string& text, SourceArg* source, std::string* error,
                 std::string* warning);

// The warning for a length of ms written as the bare number `written` in `where` (a span or an
// option with its value), or "" when it is a second or more.
std::string BareMillisecondsWarning(const std::string& where, const std::string& written,
                                    std::int32_t ms);

}  // namespace feedcat
