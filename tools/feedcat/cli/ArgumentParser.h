// Reads feedcat's command line into Options. It touches nothing outside it but the clip lists
// it names (--clips), which it reads in place of the option.
#pragma once

#include <string>
#include <vector>

#include "cli/Options.h"
#include "console/SourceWarning.h"

namespace feedcat {

struct ParseResult {
    enum class Action { kRun, kHelp, kVersion, kFormats, kError };
    Action action = Action::kError;
    Options options;
    std::string error;  // one line naming the problem, when action is kError
    // What was read but most likely not meant (a span of 5 ms written "@0-5"), once each; to be
    // shown before the run.
    std::vector<SourceWarning> warnings;
};

ParseResult ParseArguments(int argc, const char* const* argv);

// Whether the command line asks for --json (before a "--"), read without parsing it: a
// command line that cannot be parsed still gets its answer as JSON.
bool AsksForJson(int argc, const char* const* argv);

}  // namespace feedcat
