// Runs one session on the real engine for the hostile-input tests: a video source and an
// audio source over the same span, 160x120 at 25 fps and 8,000 Hz mono, under a time limit,
// and tells what came out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace hostile {

struct Outcome {
    bool hasVideo = false;  // a video source was given
    bool hasAudio = false;
    bool started = false;
    bool ended = false;  // idle again within the time limit
    int frames = 0;
    std::int64_t sampleFrames = 0;
    bool allBlack = true;   // every pixel's B, G and R are 0
    bool allSilent = true;  // every sample is 0
    std::int32_t durationMs = -1;
    bool watchHeld = true;          // what the watch returned every time it was asked
    std::vector<bool> blackFrames;  // per frame, in order
    double seconds = 0.0;
};

// Plays videoName (if not empty) and audioName (if not empty) from 0 to lengthMs. watch is
// called every few milliseconds while the session runs.
Outcome Play(const std::string& videoName, const std::string& audioName, int lengthMs,
             const std::function<bool()>& watch = nullptr,
             const std::function<void(int frame)>& onFrame = nullptr,
             const std::function<void(int buffer)>& onBuffer = nullptr);

// The session ran its whole length: lengthMs / 40 frames when it had a video source and
// lengthMs * 8 sample frames when it had an audio source.
void ExpectExactCounts(const Outcome& outcome, int lengthMs, const std::string& what);
// And everything in it was black and silent.
void ExpectBlankSession(const Outcome& outcome, int lengthMs, const std::string& what);

// A fresh folder, removed with its files when the object goes.
using Scratch = support::ScratchFolder;

}  // namespace hostile
