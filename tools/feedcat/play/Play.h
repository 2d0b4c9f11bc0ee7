// feedcat --play: the sources shown in a window and heard through the default audio device as
// the library delivers them, in real time, with keys to pause, resume and stop. Built with
// SDL2; a feedcat built without it says so.
#pragma once

#include <string>
#include <vector>

#include "cli/Options.h"
#include "console/SourceWarning.h"

namespace feedcat {

class SignalWatcher;

// Plays the run and returns its exit status; a SIGINT or SIGTERM that signals sees stops it.
// warnings: what the command line's reading found, for the summary.
int Play(const Options& options, std::vector<SourceWarning> warnings, SignalWatcher* signals);

// Whether the rest of the command line goes with --play: "" when it does, else why not.
std::string PlayConflict(const Options& options, bool outputGiven);

}  // namespace feedcat
