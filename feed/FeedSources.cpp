// The source list: adds, remove, clear, and the times of one source. Every operation is
// refused while a session is Running or Paused, since the worker may be reading the list.
// Checks run in the order busy, id, times.
#include <cstdint>
#include <utility>

#include "engine/TimeUnits.h"
#include "feed/Feed.h"

namespace feed {

std::int32_t Feed::AddVideoSource(const char* fileName, std::int32_t startMs, std::int32_t stopMs) {
    return AddSource(fileName, session::SourceKind::Video, nullptr, 0, startMs, stopMs);
}

std::int32_t Feed::AddVideoSourceEx(const char* fileName, const std::int32_t* cropRect,
                                    std::int32_t clipParam, std::int32_t startMs,
                                    std::int32_t stopMs) {
    return AddSource(fileName, session::SourceKind::Video, cropRect, clipParam, startMs, stopMs);
}

std::int32_t Feed::AddAudioSource(const char* fileName, std::int32_t startMs, std::int32_t stopMs) {
    return AddSource(fileName, session::SourceKind::Audio, nullptr, 0, startMs, stopMs);
}

std::int32_t Feed::AddSource(const char* fileName, session::SourceKind kind,
                             const std::int32_t* cropRect, std::int32_t clipParam,
                             std::int32_t startMs, std::int32_t stopMs) {
    if (busy()) {
        return Refuse(kFeedWrongState, -1);
    }
    if (stopMs < startMs) {
        return -1;  // refused without a report: the last result stays as it was
    }
    if (fileName == nullptr) {
        return Refuse(kFeedNoInputFile, -1);
    }
    if (nextId_ == INT32_MAX) {
        return Refuse(kFeedBadSourceId, -1);  // no id left until the list is cleared
    }
    session::SourceEntry entry;
    entry.name = fileName;
    entry.startSeconds = MsToSeconds(startMs);
    entry.stopSeconds = MsToSeconds(stopMs);
    entry.kind = kind;
    if (cropRect != nullptr) {
        entry.cropRect = {cropRect[0], cropRect[1], cropRect[2], cropRect[3]};
    }
    entry.clipParam = clipParam;
    // The id is taken only once the entry is in: an add that runs out of memory takes none.
    shared_.sources.emplace(nextId_ + 1, std::move(entry));
    ++nextId_;
    return Succeed(nextId_);
}

std::int32_t Feed::RemoveSource(std::int32_t id) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    if (shared_.sources.erase(id) == 0) {
        return Refuse(kFeedBadSourceId, 0);
    }
    shared_.outcome.Forget(id);
    return Succeed(1);
}

std::int32_t Feed::ClearSources() {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    shared_.sources.clear();
    shared_.outcome.ForgetAll();
    nextId_ = 0;
    return Succeed(1);
}

std::int32_t Feed::SetSourceTimes(std::int32_t id, std::int32_t startMs, std::int32_t stopMs) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    const auto found = shared_.sources.find(id);
    if (found == shared_.sources.end()) {
        return Refuse(kFeedBadSourceId, 0);
    }
    if (stopMs < startMs) {
        return Refuse(kFeedBadTimes, 0);
    }
    found->second.startSeconds = MsToSeconds(startMs);
    found->second.stopSeconds = MsToSeconds(stopMs);
    return Succeed(1);
}

std::int32_t Feed::GetSourceTimes(std::int32_t id, std::int32_t* startMs, std::int32_t* stopMs) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    const auto found = shared_.sources.find(id);
    if (found == shared_.sources.end()) {
        return Refuse(kFeedBadSourceId, 0);
    }
    if (startMs != nullptr) {
        *startMs = SecondsToMsTruncated(found->second.startSeconds);
    }
    if (stopMs != nullptr) {
        *stopMs = SecondsToMsTruncated(found->second.stopSeconds);
    }
    return Succeed(1);
}

}  // namespace feed
