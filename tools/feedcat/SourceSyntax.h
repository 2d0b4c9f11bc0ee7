// One SOURCE argument: "v:FILE", "a:FILE" or "av:FILE", optionally followed by "@START-STOP".
#pragma once

#include <string>

#include "Options.h"

namespace feedcat {

// Fills source, or returns false with a one-line reason (naming what is accepted) in error.
// A trailing "@..." is times when it is made of digits and the characters of times
// (":", ".", "s", "m", "-"), and then it must be START-STOP; anything else after "@" belongs
// to the file name ("clip@home.mp4", "icon@2x.png").
bool ParseSource(const std::string& text, SourceArg* source, std::string* error);

}  // namespace feedcat
