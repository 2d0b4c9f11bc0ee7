// One run's moving parts, from the library's callbacks to the file: the feed, the frame
// callback's converter, the queue and the encoder thread (Recorder). The pipeline alone tears
// them down, in the one order that is safe however the run ends (it ends, it is stopped, it
// never starts, the encoder fails): the feed first (once it is destroyed no callback runs),
// then the queue (the encoder thread drains what is left and ends), then the encoder thread.
#pragma once

#include <feed/feed.h>

#include <cstdint>
#include <memory>
#include <string>

#include "output/PictureConverter.h"
#include "pipeline/FramePool.h"
#include "pipeline/Recorder.h"
#include "pipeline/WorkQueue.h"

namespace feedcat {

class Pipeline {
  public:
    Pipeline();
    ~Pipeline();

    // Creates the feed and the output file. Main thread, first; false with a reason.
    bool Open(const RecorderSetup& setup, std::string* error);

    // The feed, to be configured between Open and Start.
    FeedHandle feed() const { return feed_.get(); }

    // Connects the callbacks, starts the encoder thread and the session.
    bool Start(std::string* error);

    // The session is still delivering.
    bool Running() const { return FeedGetState(feed_.get()) != FEED_STATE_IDLE; }

    const Recorder& recorder() const { return recorder_; }

    // CPU time the frame callback spent converting, on the library's video thread. After
    // Finish.
    std::int64_t conversionCpuNs() const { return converter_ ? converter_->cpuNs() : 0; }

    // Ends the session (if it still runs) and everything behind it, then finishes the file.
    // interrupted: cut short by a signal. False with a reason when writing failed.
    bool Finish(bool interrupted, std::string* error);

  private:
    struct FeedDestroyer {
        void operator()(FeedHandle feed) const { FeedDestroy(feed); }
    };

    static intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length,
                                      int32_t positionMs, int32_t width, int32_t height);
    static int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length,
                                      int32_t positionMs, int32_t bitsPerSample, int32_t sampleRate,
                                      int32_t channels);
    void TearDown();

    FramePool pool_;
    // Used by the library's video thread (one frame at a time); null for a "null" output.
    std::unique_ptr<PictureConverter> converter_;
    WorkQueue queue_;
    Recorder recorder_;
    std::unique_ptr<FeedObject, FeedDestroyer> feed_;
    bool started_ = false;
};

}  // namespace feedcat
