#include "session/SessionOutcome.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/TimeUnits.h"

namespace session {

namespace {

// Copies `text` into out[0, size), cut to size - 1 bytes and zero-terminated; size > 0.
void CopyText(const std::string& text, char* out, std::size_t size) {
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

std::string Seconds(std::int32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", ms / 1000.0);
    return text;
}

// Why the engine could not open a file, from the status SelectSources gave.
std::string OpenFailureText(HRESULT status) {
    switch (status) {
        case kOpenNotFound:
            return "no such file";
        case kOpenDenied:
            return "permission denied";
        case kOpenNotMedia:
            return "not a media file the engine can read";
        case kOpenNotAllowed:
            return "not a regular local file or an allowed lavfi: graph";
        default:
            break;
    }
    char text[48];
    std::snprintf(text, sizeof text, "the engine gave status 0x%08" PRIX32,
                  static_cast<std::uint32_t>(status));
    return text;
}

}  // namespace

SourceOutcome JudgeSource(std::int32_t id, const SourceEntry& entry, const SourceFinding& finding) {
    const bool video = entry.kind == SourceKind::Video;
    const std::string source = "source " + std::to_string(id) + " ('" + entry.name + "')";
    const std::string instead = std::string(video ? "black" : "silence");
    SourceOutcome outcome;
    if (finding.openStatus == kOpenNoStreams) {
        outcome.outcome = FEED_OUTCOME_NO_STREAM;
        outcome.message = source + " holds neither video nor audio; it played as " + instead;
    } else if (finding.openStatus < 0) {
        outcome.outcome = FEED_OUTCOME_NOT_OPENED;
        outcome.message = source + " could not be opened: " + OpenFailureText(finding.openStatus) +
                          "; it played as " + instead;
    } else if (!finding.hasStream) {
        outcome.outcome = FEED_OUTCOME_NO_STREAM;
        outcome.message =
            source + " has no " + KindName(entry.kind) + " stream; it played as " + instead;
    } else {
        outcome.streamLengthMs = finding.streamLengthMs;
        const std::int32_t startMs = SecondsToMsTruncated(entry.startSeconds);
        const std::int32_t stopMs = SecondsToMsTruncated(entry.stopSeconds);
        if (finding.streamLengthMs >= 0 && stopMs > finding.streamLengthMs) {
            outcome.outcome = FEED_OUTCOME_CUT_AT_END;
            outcome.message = source + " asks for " + Seconds(startMs) + " to " + Seconds(stopMs) +
                              ", but its " + KindName(entry.kind) + " ends at " +
                              Seconds(finding.streamLengthMs) + "; the rest played as " + instead;
        } else {
            outcome.outcome = FEED_OUTCOME_PLAYED;
        }
    }
    return outcome;
}

void SessionOutcome::Begin(const SourceList& sources) {
    const std::lock_guard<std::mutex> lock(mutex_);
    reason_ = FEED_END_NONE;
    message_.clear();
    sources_.clear();
    for (const auto& [id, entry] : sources) {
        sources_.emplace_hint(sources_.end(), id, SourceOutcome{});
    }
}

void SessionOutcome::RecordSource(std::int32_t id, SourceOutcome outcome) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sources_[id] = std::move(outcome);
}

void SessionOutcome::End(FeedEndReason reason, std::string message) {
    const std::lock_guard<std::mutex> lock(mutex_);
    reason_ = reason;
    message_ = std::move(message);
    if (!message_.empty() || reason == FEED_END_NOT_BUILT) {
        return;
    }
    // The first source that did not play as asked, in timeline order (ids ascend).
    int others = -1;
    for (const auto& [id, source] : sources_) {
        if (!source.message.empty() && ++others == 0) {
            message_ = source.message;
        }
    }
    if (others > 0) {
        message_ += " (and " + std::to_string(others) + " more source" + (others == 1 ? "" : "s") +
                    " that did not play as asked)";
    }
}

void SessionOutcome::Forget(std::int32_t id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sources_.erase(id);
}

void SessionOutcome::ForgetAll() {
    const std::lock_guard<std::mutex> lock(mutex_);
    sources_.clear();
}

FeedEndReason SessionOutcome::CopyReason(char* message, std::int32_t size) const noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (message != nullptr && size > 0) {
        CopyText(message_, message, static_cast<std::size_t>(size));
    }
    return reason_;
}

bool SessionOutcome::CopySource(std::int32_t id, FeedSourceOutcome* outcome) const noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = sources_.find(id);
    if (found == sources_.end()) {
        return false;
    }
    outcome->outcome = found->second.outcome;
    outcome->streamLengthMs = found->second.streamLengthMs;
    CopyText(found->second.message, outcome->message, sizeof outcome->message);
    return true;
}

}  // namespace session
