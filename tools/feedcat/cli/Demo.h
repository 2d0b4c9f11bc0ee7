// The built-in demonstration: synthetic sources and settings that show clips with in and out
// points, a letterboxed picture and fades, with no input files.
#pragma once

#include "cli/Options.h"

namespace feedcat {

// Adds the demo's sources and fills in the settings the command line left open.
void ApplyDemo(Options* options);

}  // namespace feedcat
