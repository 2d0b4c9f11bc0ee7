// Looks into every source before anything starts, as the engine will: whether it opens,
// whether it holds the streams its kind asks for, how long it is. A source that cannot be
// opened, a v: source without video and an a: source without audio are errors (nothing is
// written), or with --allow-missing warnings and black or silence for their spans. An av:
// source with only one of the two is a warning (the other plays as a gap); a source named
// without a prefix takes the one the file has, without a word. Times past a file's end are a
// warning. Sources without times, or open at the end ("@2s-"), get the file's length.
// A file named by many sources is looked into once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "console/SourceWarning.h"

namespace feedcat {

struct CheckedSources {
    std::vector<SourceArg> sources;  // what goes to the library, every one with times
    std::vector<SourceWarning> warnings;
    // The first video source's own frame rate, as the engine reads it; not given when no video
    // source has one.
    FrameRate firstVideoRate;
    int status = 0;           // an exit status when the run cannot go on
    std::string error;        // its one-line reason
    std::string errorSource;  // the file it is about
    bool stopped = false;     // stopRequested() said so before every source was looked at
};

// Prints each warning as it is found (feedcat: warning: ...). stopRequested is asked before
// each source.
CheckedSources CheckSources(const Options& options, const std::function<bool()>& stopRequested);

}  // namespace feedcat
