// A scripted stand-in for the media engine, for tests. It defines the engine's five C functions,
// hands out objects that log every call the library makes and keep their own external
// reference counts, and delivers scripted frames and buffers from threads of its own.
//
// Every member of Engine may be called from any thread. Calls the library makes are logged in
// one list, in the order they reached the fake.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fake {

// Points where a test can make the next call fail (failNext) or hold it (blockAt).
enum class Step {
    CreateComposite,          // CreateSimpleCompositeSource
    SelectSources,            // SelectSources
    PrepareVideo,             // a composite's Prepare(0, kStreamVideo)
    PrepareAudio,             // a composite's Prepare(0, kStreamAudio)
    QueryCompositeEdit,       // any QueryInterface(IID_ICompositeEdit)
    QueryAcceptorConnection,  // any QueryInterface(IID_IAcceptorConnection)
    CreateAcceptor,           // CreateCallBackMediaAcceptor
    CreateSync,               // CreateAudioVideoSync
    PrepareSource,            // Prepare on a source from SelectSources or CreateEmptySource
    EndByFailure,             // a composite that has ended says it failed (from IsEnded)
};

// One frame or buffer.
struct Delivery {
    std::int64_t start = 0;           // 100-ns units on the timeline
    std::int64_t duration = 0;        // 100-ns units
    std::vector<std::uint8_t> bytes;  // handed to the callback as a fresh writable copy
};

struct VideoSeries {
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::vector<Delivery> frames;
};

struct AudioSeries {
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 44100;
    std::uint16_t bitsPerSample = 16;
    std::vector<Delivery> buffers;
};

// What one callback did with one delivery.
struct Received {
    std::intptr_t result = 0;              // the callback's result
    std::vector<std::uint8_t> bytesAfter;  // the data as the callback left it
    std::int64_t start = 0;                // the delivery's start
};

class Engine {
  public:
    static Engine& instance();

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Stops and joins every delivery thread, fails any call held at blockAt, and forgets
    // files, pending failures, the logs, the objects, the series and the settings. Objects
    // handed out before are kept in memory (calls on them are reported as "used after reset"
    // faults instead of touching freed memory). Name counters start again at 1.
    void reset();

    // SelectSources of a name never added fails.
    void addFile(const std::string& name, bool hasVideo, bool hasAudio);

    // The next occurrence of step fails (negative status, no object). Calling it n times
    // fails the next n occurrences.
    void failNext(Step step);

    // What every video / audio composite delivers once Run (read when its delivery starts).
    void setVideoSeries(VideoSeries series);
    void setAudioSeries(AudioSeries series);

    // The delivery threads wait this long before each delivery; Stop cuts the wait short.
    void setPace(std::chrono::milliseconds perDelivery);

    // IsEnded writes 0 until the composite is stopped, even after its series is done.
    void setHoldEnd(bool hold);

    // The next call at step waits inside the fake until release() (or reset()). One step is
    // armed at a time; arming again replaces it.
    void blockAt(Step step);
    // Returns once a call waits at the blockAt step. Gives up after 10 s and records a fault,
    // so a test whose library never gets there fails instead of hanging.
    void waitUntilBlocked();
    // The same with a caller-chosen limit; false when nothing got there in time (no fault).
    bool waitUntilBlocked(std::chrono::milliseconds timeout);
    // Lets the held call go on, or disarms blockAt if nothing reached the step yet.
    void release();

    // The library's calls, in order. IsEnded and the sync's Notify calls are not in it.
    std::vector<std::string> calls() const;
    // Reference and protocol faults, empty when all is well. Objects still holding external
    // references, and composites still delivering, are reported as of this call.
    std::vector<std::string> faults() const;
    // "Y1 video 400000", "Y1 audio 100000": the sync objects' Notify calls, in order.
    std::vector<std::string> syncNotifications() const;
    // One entry per delivery whose callback returned, in order, for all composites of a kind.
    std::vector<Received> videoReceived() const;
    std::vector<Received> audioReceived() const;
    // True once at least that many frames and buffers were received, false on timeout.
    bool waitForDeliveries(std::size_t video, std::size_t audio, std::chrono::milliseconds timeout);
    // IsEnded calls on all objects since reset().
    int isEndedCalls() const;

  private:
    Engine() = default;
};

inline Engine& engine() {
    return Engine::instance();
}

}  // namespace fake
