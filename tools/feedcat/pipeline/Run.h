// One feedcat run: checks the output and the sources, builds the pipeline (feed, encoder
// thread, file), plays the session to its end (or to a signal) and finishes the file. Returns
// the exit status; the summary (and with --json its one JSON object) is printed however the
// run ends, a signal before anything is delivered included.
#pragma once

#include <vector>

#include "cli/Options.h"
#include "console/SignalWatcher.h"
#include "console/SourceWarning.h"

namespace feedcat {

// warnings: what the command line's reading warned about (already shown), for the summary;
// signals: watched from the start of the process, so that a signal at any moment of the run
// ends it the same way.
int Run(const Options& options, std::vector<SourceWarning> warnings, SignalWatcher* signals);

}  // namespace feedcat
