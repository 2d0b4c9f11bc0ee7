// One feedcat run: checks the output and the sources, builds the pipeline (feed, encoder
// thread, file), plays the session to its end (or to a signal) and finishes the file. Returns
// the exit status.
#pragma once

#include "Options.h"

namespace feedcat {

int Run(const Options& options);

}  // namespace feedcat
