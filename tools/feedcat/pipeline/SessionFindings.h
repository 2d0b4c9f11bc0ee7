// What the library says about a session once it has ended: why it ended and what became of
// each source. feedcat checks the sources itself before a run (so that it can refuse them), but
// the library's account is the one that played: anything it found that the check did not is
// reported too.
#pragma once

#include <feed/feed.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/SourceWarning.h"

namespace feedcat {

// One source as added to the library: an av: source is added twice, as video and as audio.
struct AddedSource {
    std::string file;
    std::int32_t id = -1;
};

struct SessionFindings {
    FeedEndReason reason = FEED_END_NONE;
    std::string reasonText;  // the library's line about the end; "" when nothing to add
    // Sources that did not play as asked and that no warning in `known` named already.
    std::vector<SourceWarning> warnings;
};

// Asks the library about feed's last session, which has ended. Main thread, before the feed is
// destroyed.
SessionFindings FindSessionOutcome(FeedHandle feed, const std::vector<AddedSource>& added,
                                   const std::vector<SourceWarning>& known);

}  // namespace feedcat
