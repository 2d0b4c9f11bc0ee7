// How the sources fill the library's two timelines: each kind's sources one after another, so
// the timelines' lengths are sums of spans, and the shorter one is padded with black or silence
// to end with the longer. Works on sources whose times are all known (after CheckSources).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Options.h"

namespace feedcat {

struct TimelineLengths {
    bool video = false;  // some source goes onto the timeline
    bool audio = false;
    std::int64_t videoMs = 0;
    std::int64_t audioMs = 0;
};

TimelineLengths MeasureTimelines(const std::vector<SourceArg>& sources);

// The warning for padding of more than a second, naming the side and the length; "".
std::string PaddingWarning(const TimelineLengths& lengths);

// Keeps of every source only the kinds the output takes (an av: source into a .wav gives its
// sound); sources left with none are dropped.
void KeepKinds(bool video, bool audio, std::vector<SourceArg>* sources);

// Cuts the end of the longer timeline so that both end together: sources past the shorter one's
// end are left out and the one across it is shortened. An av: source whose two halves need
// different spans becomes a v: and an a: source.
void EndWithTheShorter(std::vector<SourceArg>* sources);

}  // namespace feedcat
