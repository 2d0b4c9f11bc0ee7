// Reads feedcat's command line into Options, without touching anything outside it.
#pragma once

#include <string>

#include "Options.h"

namespace feedcat {

struct ParseResult {
    enum class Action { kRun, kHelp, kVersion, kError };
    Action action = Action::kError;
    Options options;
    std::string error;  // one line naming the problem, when action is kError
};

ParseResult ParseArguments(int argc, const char* const* argv);

}  // namespace feedcat
