// What the --play window tells the user: its title and the terminal's status line while it
// plays, and the summary when it ends, as a line or as one JSON object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/Progress.h"
#include "play/PlayStats.h"

namespace feedcat {

struct PlayMoment {
    double positionMs = 0.0;       // the playback clock
    std::int32_t durationMs = -1;  // the session's length; -1 while unknown
    bool paused = false;
    bool muted = false;
};

struct PlaySummary {
    std::int32_t positionMs = 0;  // where it ended
    std::int32_t durationMs = -1;
    bool toTheEnd = false;  // played to the end of the feed (not stopped)
    std::int64_t shown = 0;
    std::int64_t dropped = 0;
    double largestOffsetMs = 0.0;
    bool sawJoin = false;
    double worstJoinLatenessMs = 0.0;
    std::int64_t sampleFrames = 0;  // of the feed's sound handed to the audio device
    std::vector<SourceWarning> warnings;
    int exitStatus = 0;
    RunError error;  // why it failed; no code when it did not
};

// "0:01.2 / 0:06.0", with " (paused)" and " (muted)" when so, after the program's name.
std::string PlayTitle(const PlayMoment& moment);

// "0:01.2 / 0:06.0  shown 30  dropped 0  A/V -5 ms", with "  paused" and "  muted".
std::string PlayStatusLine(const PlayMoment& moment, const PlayStats& stats);

// "played 0:06.0 of 0:06.0: 150 frames shown, 0 dropped, largest A/V offset 12 ms", or
// "stopped at 0:02.3 of 0:06.0: ..." when stopped early.
std::string PlaySummaryLine(const PlaySummary& summary);

std::string PlaySummaryJson(const PlaySummary& summary);

// Ends a run that showed nothing, failed or stopped by a signal: says why on standard error
// (when error has a message) and with --json prints its summary. Returns status.
int EndPlayEarly(int status, const RunError& error, bool json);

}  // namespace feedcat
