// Standard error, shared by the log and the progress bar: whole lines, and one status line
// (the bar, redrawn in place) that a line written meanwhile erases first, so the two never
// mix. Any thread.
#pragma once

#include <string>

namespace feedcat {

// Writes text and a newline.
void ConsoleLine(const std::string& text);

// Draws text as the status line, in place of the previous one.
void ConsoleStatus(const std::string& text);

// Removes the status line, if one is drawn.
void ConsoleEraseStatus();

}  // namespace feedcat
