// SessionOutcome: why a feed's last session ended and what became of each of its sources,
// kept for the host to ask after the fact (FeedGetEndReason, FeedGetSourceOutcome).
//
// Written by the host's thread when a session starts (Begin) and when the source list changes
// (Forget), and by the worker while it builds and as it ends the session; read by any thread.
// A lock guards it, and readers get copies: nothing is shared beyond the call.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include <feed/feed.h>

#include "session/SelectSource.h"
#include "session/SourceEntry.h"

namespace session {

struct SourceOutcome {
    std::int32_t outcome = FEED_OUTCOME_NOT_REACHED;  // FEED_OUTCOME_*
    std::int32_t streamLengthMs = -1;  // as the file gives it; -1 unknown or not opened
    std::string message;               // one line; "" when the source played as asked
};

// What the session made of source `id`, from what opening its file found.
SourceOutcome JudgeSource(std::int32_t id, const SourceEntry& entry, const SourceFinding& finding);

class SessionOutcome {
  public:
    // A session starts with these sources: no end reason yet, every source not reached.
    void Begin(const SourceList& sources);

    // What the session found for source `id` when it put it on its timeline.
    void RecordSource(std::int32_t id, SourceOutcome outcome);

    // The session has ended. For a session that ran, `message` empty means: name the first
    // source that did not play as asked, if any.
    void End(FeedEndReason reason, std::string message);

    // The source list lost `id`, or every id: the next session will number sources anew.
    void Forget(std::int32_t id);
    void ForgetAll();

    // The reason; its message is copied into message[0, size), zero-terminated and cut to fit,
    // when message is not null and size above 0.
    FeedEndReason CopyReason(char* message, std::int32_t size) const noexcept;
    // Fills *outcome (its size is the caller's to check); false when the last session did not
    // have `id`, and nothing is written then.
    bool CopySource(std::int32_t id, FeedSourceOutcome* outcome) const noexcept;

  private:
    mutable std::mutex mutex_;
    FeedEndReason reason_ = FEED_END_NONE;
    std::string message_;
    std::map<std::int32_t, SourceOutcome> sources_;  // by source id
};

}  // namespace session
