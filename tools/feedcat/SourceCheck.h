// Looks into every source before anything starts, as the engine will: whether it opens,
// whether it holds the streams its kind asks for, how long it is. A source that cannot be
// opened, a v: source without video and an a: source without audio are errors (nothing is
// written), or with --allow-missing warnings and black or silence for their spans. An av:
// source with only one of the two is a warning (the other plays as a gap), as are times past
// a file's end. Sources without times get the file's length.
#pragma once

#include <string>
#include <vector>

#include "Options.h"
#include "Progress.h"

namespace feedcat {

struct CheckedSources {
    std::vector<SourceArg> sources;  // what goes to the library, every one with times
    std::vector<SourceWarning> warnings;
    // The first video source's own frame rate, as the engine reads it; not given when no video
    // source has one.
    FrameRate firstVideoRate;
    int status = 0;     // an exit status when the run cannot go on
    std::string error;  // its one-line reason
};

// Prints each warning as it is found (feedcat: warning: ...).
CheckedSources CheckSources(const Options& options);

}  // namespace feedcat
