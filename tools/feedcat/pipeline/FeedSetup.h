// Puts one run's sources and settings on a feed, through the public interface only.
#pragma once

#include <feed/feed.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "pipeline/SessionFindings.h"

namespace feedcat {

// The frame rate to ask the library for: --fps, else the first video source's own, else 25
// (every video source is missing and --allow-missing plays it as black): the library delivers
// frames only at a rate it was told, and whatever takes them must be told the same.
FrameRate OutputFrameRate(const Options& options, FrameRate firstVideoRate);

// Adds the sources (video ones with the crop rectangle and bar colour when given) and sets
// what was asked: the frame rate always (the one the encoder will use), the size and channels
// when given, the sample rate as given or 0 (the first audio clip's own); fades, clip mode
// (fit when not given), sync. Each id the library gives goes into added. False with the
// library's refusal (and its file in errorSource), or with no error when stopRequested() said
// so before a source was added.
bool ConfigureFeed(FeedHandle feed, const Options& options, const std::vector<SourceArg>& sources,
                   FrameRate frameRate, const std::function<bool()>& stopRequested,
                   std::vector<AddedSource>* added, std::string* error, std::string* errorSource);

}  // namespace feedcat
