// The progress bar on standard error (only when it is a terminal) and the closing summary,
// as a line on standard error or as one JSON object on standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/SourceWarning.h"
#include "output/StreamChoice.h"

namespace feedcat {

// Why a run did not do what it was asked; an empty code when it did (or was interrupted).
struct RunError {
    // "usage" (the command line), "output" (the output cannot be written as asked), "source"
    // (a source cannot be played), "library" (the library refused the settings or the start),
    // "encoding" (encoding or writing failed), "playback" (--play found no window to open),
    // "nothing-delivered".
    std::string code;
    std::string message;  // the line printed on standard error, without "feedcat: "
    std::string source;   // the file it is about, or ""
};

struct RunSummary {
    std::string output;    // as given; "" when the command line could not be read
    bool written = false;  // the output holds what was delivered (a file in place, or a pipe)
    std::int64_t frames = 0;
    std::int64_t sampleFrames = 0;
    std::int32_t durationMs = 0;  // what was delivered (the session's length when it ran out)
    double wallSeconds = 0.0;
    int exitStatus = 0;
    bool interrupted = false;
    VideoChoice video;
    AudioChoice audio;
    RunError error;
    std::vector<SourceWarning> warnings;
};

class Progress {
  public:
    Progress(bool quiet, bool json);

    // The bar shows when standard error is a terminal, unless quiet or the log level is below
    // info; the summary line shows unless quiet or below info; json prints the summary on
    // standard output.

    // Redraws the bar (at most a few times a second).
    void Update(std::int32_t positionMs, std::int32_t durationMs, std::int64_t frames,
                double wallSeconds);

    // Removes the bar, then prints the summary: on standard error unless the run failed (its
    // error is printed already), and with json as one object on standard output, in every
    // outcome.
    void Finish(const RunSummary& summary);

  private:
    bool bar_;
    bool quiet_;
    bool json_;
    double lastDraw_ = -1.0;
};

std::string SummaryJson(const RunSummary& summary);

// Prints the summary as JSON on standard output, unless a JSON summary was printed already (a
// second signal prints the one prepared for it: see SignalWatcher). False when it was.
bool PrintJsonOnce(const RunSummary& summary);

// The error as a JSON object ({"code": ..., "message": ..., "source": ...}), or null for none.
std::string ErrorJson(const RunError& error);

// The warnings as a JSON array of {"source": ..., "message": ...} objects (a null source for a
// warning about no source in particular).
std::string WarningListJson(const std::vector<SourceWarning>& warnings);

}  // namespace feedcat
