// One feedcat run: checks the sources and the output, sets up the feed and the encoder thread,
// plays the session to its end (or to a signal) and finishes the file. Returns the exit status.
#pragma once

#include "Options.h"

namespace feedcat {

int Run(const Options& options);

}  // namespace feedcat
