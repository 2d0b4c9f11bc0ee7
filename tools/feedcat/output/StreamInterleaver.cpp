#include "output/StreamInterleaver.h"

#include <algorithm>
#include <utility>

namespace feedcat {

StreamInterleaver::StreamInterleaver(bool bothStreams, double frameMs)
    : bothStreams_(bothStreams), frameMs_(frameMs) {}

double StreamInterleaver::EndMs(const MediaItem& item) const {
    if (item.kind == MediaItem::Kind::kVideo) {
        return item.positionMs + frameMs_;
    }
    if (item.sampleRate <= 0 || item.channels <= 0) {
        return item.positionMs;
    }
    const auto sampleFrames = static_cast<double>(item.data.size() / (2u * item.channels));
    return item.positionMs + sampleFrames * 1000.0 / item.sampleRate;
}

void StreamInterleaver::Add(MediaItem item, std::vector<MediaItem>* ready) {
    if (!bothStreams_) {
        ready->push_back(std::move(item));
        return;
    }
    if (item.kind == MediaItem::Kind::kVideo) {
        videoEndMs_ = std::max(videoEndMs_, EndMs(item));
        video_.push_back(std::move(item));
    } else {
        audioEndMs_ = std::max(audioEndMs_, EndMs(item));
        audio_.push_back(std::move(item));
    }
    Release(ready);
}

void StreamInterleaver::Release(std::vector<MediaItem>* ready) {
    for (;;) {
        std::deque<MediaItem>* next = nullptr;
        if (!video_.empty() && !audio_.empty()) {
            next = video_.front().positionMs <= audio_.front().positionMs ? &video_ : &audio_;
        } else if (video_.size() > kMostHeldFrames) {
            next = &video_;
        } else if (audio_.size() > kMostHeldBuffers) {
            next = &audio_;
        }
        if (next == nullptr) {
            return;
        }
        ready->push_back(std::move(next->front()));
        next->pop_front();
    }
}

void StreamInterleaver::Finish(bool interrupted, std::vector<MediaItem>* ready) {
    // Only one stream holds items now: the one that ran ahead.
    std::deque<MediaItem>& held = video_.empty() ? audio_ : video_;
    const double otherEndMs = &held == &video_ ? audioEndMs_ : videoEndMs_;
    for (MediaItem& item : held) {
        // A stream that delivered nothing at all sets no end: the other is kept whole.
        if (interrupted && otherEndMs > 0.0 && item.positionMs >= otherEndMs) {
            break;
        }
        ready->push_back(std::move(item));
    }
    video_.clear();
    audio_.clear();
}

}  // namespace feedcat
