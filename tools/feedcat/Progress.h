// The progress bar on standard error (only when it is a terminal) and the closing summary,
// as a line on standard error or as one JSON object on standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace feedcat {

// Something the user should know about one source (it is also printed when it happens).
struct SourceWarning {
    std::string source;  // the file name as given
    std::string message;
};

struct RunSummary {
    std::string output;
    std::int64_t frames = 0;
    std::int64_t sampleFrames = 0;
    std::int32_t durationMs = 0;  // what was delivered (the session's length when it ran out)
    double wallSeconds = 0.0;
    int exitStatus = 0;
    bool interrupted = false;
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

    // Removes the bar, then prints the summary.
    void Finish(const RunSummary& summary);

  private:
    bool bar_;
    bool quiet_;
    bool json_;
    double lastDraw_ = -1.0;
};

std::string SummaryJson(const RunSummary& summary);

// The warnings as a JSON array of {"source": ..., "message": ...} objects.
std::string WarningListJson(const std::vector<SourceWarning>& warnings);

}  // namespace feedcat
