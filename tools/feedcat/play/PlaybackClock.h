// The time a player is at: the timeline position, in ms, of what is being heard (the audio
// clock) or, with no sound to follow, of the wall clock since the first delivery. Pictures are
// shown against it. It stands still while paused, and the audio clock also stands still while
// the device runs out of the feed's sound (it plays silence then), so the picture waits for the
// sound rather than running ahead of it. Any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace feedcat {

class PlaybackClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Until then the clock follows the wall clock.
    // rate: sample frames per second; latencyFrames: how far what the device is handed runs
    // ahead of what is heard (its buffer). Before any sound is consumed, the clock stands one
    // latency before 0.
    void FollowAudio(std::int32_t rate, std::int32_t latencyFrames);

    // The audio device's thread, once per callback at time now: it handed over a chunk that
    // starts with `feedFrames` sample frames of the feed (the rest, if any, is silence).
    void ChunkConsumed(std::int64_t feedFrames, TimePoint now);

    // The feed's sound has all been handed to the device: from here the clock runs on by
    // itself (the pictures of the last moments are still to come as the device plays out).
    void RunFreely(TimePoint now);

    // Wall-clock mode: the first delivery, at positionMs, starts the clock there; later calls
    // do nothing.
    void StartAt(double positionMs, TimePoint now);

    // The position in ms at time now; a large negative value while the wall clock has not
    // started. Never goes back.
    double NowMs(TimePoint now);

    void Pause(TimePoint now);
    void Resume(TimePoint now);

    // The lowest value NowMs gives: nothing is due yet.
    static constexpr double kNotStarted = -1e12;

  private:
    double ComputeLocked(TimePoint now) const;

    std::mutex mutex_;
    bool audio_ = false;  // all fields: mutex_
    std::int32_t rate_ = 0;
    std::int32_t latencyFrames_ = 0;
    std::int64_t framesBeforeChunk_ = 0;  // the feed's sample frames handed over before the chunk
    std::int64_t chunkFrames_ = 0;        // the feed's sample frames in the chunk being played
    bool chunkSeen_ = false;
    TimePoint chunkAt_{};  // when the chunk was handed over (shifted by pauses)
    bool wallStarted_ = false;
    double wallStartMs_ = 0.0;
    TimePoint wallOrigin_{};  // when the wall clock stood at wallStartMs_ (shifted by pauses)
    bool paused_ = false;
    TimePoint pausedAt_{};
    double frozenMs_ = kNotStarted;
    double floorMs_ = kNotStarted;  // what was last given: the clock never goes back
};

}  // namespace feedcat
