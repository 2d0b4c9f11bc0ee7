#include "play/PlaybackClock.h"

#include <algorithm>

namespace feedcat {
namespace {

double MsBetween(PlaybackClock::TimePoint from, PlaybackClock::TimePoint to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

void PlaybackClock::FollowAudio(std::int32_t rate, std::int32_t latencyFrames) {
    std::lock_guard<std::mutex> lock(mutex_);
    audio_ = rate > 0;
    rate_ = rate;
    latencyFrames_ = std::max(0, latencyFrames);
}

void PlaybackClock::ChunkConsumed(std::int64_t feedFrames, TimePoint now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (chunkSeen_) {
        framesBeforeChunk_ += chunkFrames_;
    }
    chunkFrames_ = std::max<std::int64_t>(0, feedFrames);
    chunkAt_ = now;
    chunkSeen_ = true;
}

void PlaybackClock::StartAt(double positionMs, TimePoint now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (wallStarted_) {
        return;
    }
    wallStarted_ = true;
    wallStartMs_ = positionMs;
    // Started while paused: it is to run from the resume on, which shifts the origin by the
    // time since the pause began.
    wallOrigin_ = paused_ ? pausedAt_ : now;
}

void PlaybackClock::RunFreely(TimePoint now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!audio_) {
        return;
    }
    floorMs_ = std::max(floorMs_, paused_ ? frozenMs_ : ComputeLocked(now));
    audio_ = false;
    wallStarted_ = true;
    wallStartMs_ = floorMs_;
    wallOrigin_ = paused_ ? pausedAt_ : now;
}

double PlaybackClock::ComputeLocked(TimePoint now) const {
    if (audio_) {
        const double latencyMs = latencyFrames_ * 1000.0 / rate_;
        if (!chunkSeen_) {
            return -latencyMs;
        }
        // What is heard moves through the chunk in real time, but not past the feed's part of
        // it: past that the device plays silence and the clock waits for the feed.
        const double chunkMs = chunkFrames_ * 1000.0 / rate_;
        const double intoChunk = std::clamp(MsBetween(chunkAt_, now), 0.0, chunkMs);
        return framesBeforeChunk_ * 1000.0 / rate_ - latencyMs + intoChunk;
    }
    if (!wallStarted_) {
        return kNotStarted;
    }
    return wallStartMs_ + MsBetween(wallOrigin_, now);
}

double PlaybackClock::NowMs(TimePoint now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_) {
        return frozenMs_;
    }
    floorMs_ = std::max(floorMs_, ComputeLocked(now));
    return floorMs_;
}

void PlaybackClock::Pause(TimePoint now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_) {
        return;
    }
    floorMs_ = std::max(floorMs_, ComputeLocked(now));
    frozenMs_ = floorMs_;
    paused_ = true;
    pausedAt_ = now;
}

void PlaybackClock::Resume(TimePoint now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paused_) {
        return;
    }
    // Both clocks go on from where they stood: their reference times move by the pause.
    const auto pause = now - pausedAt_;
    chunkAt_ += pause;
    wallOrigin_ += pause;
    paused_ = false;
}

}  // namespace feedcat
