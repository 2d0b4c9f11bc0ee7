#include "pipeline/SessionFindings.h"

#include <algorithm>

namespace feedcat {
namespace {

bool Named(const std::vector<SourceWarning>& warnings, const std::string& file) {
    return std::any_of(warnings.begin(), warnings.end(),
                       [&file](const SourceWarning& warning) { return warning.source == file; });
}

}  // namespace

SessionFindings FindSessionOutcome(FeedHandle feed, const std::vector<AddedSource>& added,
                                   const std::vector<SourceWarning>& known) {
    SessionFindings findings;
    char text[512] = "";
    findings.reason = FeedGetEndReason(feed, text, sizeof(text));
    findings.reasonText = text;
    for (const AddedSource& source : added) {
        FeedSourceOutcome outcome{};
        outcome.size = sizeof(outcome);
        const bool found = FeedGetSourceOutcome(feed, source.id, &outcome) != 0;
        const bool asAsked =
            outcome.outcome == FEED_OUTCOME_PLAYED || outcome.outcome == FEED_OUTCOME_NOT_REACHED;
        // A source the check warned about (an av: source's two halves alike) says so once.
        if (found && !asAsked && !Named(known, source.file) &&
            !Named(findings.warnings, source.file)) {
            findings.warnings.push_back(SourceWarning{source.file, outcome.message});
        }
    }
    return findings;
}

}  // namespace feedcat
