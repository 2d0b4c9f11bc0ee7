// FFmpeg's own messages (from feedcat's encoders and probes, and from the engine's decoders,
// which share the process) routed into feedcat's log: one line each, "feedcat: [context]
// text", shown by feedcat's level. FFmpeg's info lines are details to a feedcat user, so they
// show from verbose on; its warnings and errors show at their own level.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace feedcat {

// Installs the routing and matches FFmpeg's own level to feedcat's. Main thread, before any
// other thread starts, after SetLogLevel.
void RouteLibavMessages();

// While one lives, FFmpeg's messages on its thread are kept instead of shown, so that a
// failure can be reported once, in one line with its reason, rather than after a raw line.
// Messages kept that equal a reason once given are later shown only at debug level, so an
// engine opening the same broken file again does not repeat them.
class LibavMessageCapture {
  public:
    LibavMessageCapture();
    ~LibavMessageCapture();
    LibavMessageCapture(const LibavMessageCapture&) = delete;
    LibavMessageCapture& operator=(const LibavMessageCapture&) = delete;

    // The last error FFmpeg gave while capturing ("moov atom not found"), or "". Every message
    // kept is remembered as reported.
    std::string TakeReason();

    // Shows what was kept, each at its level (for a probe that succeeded despite them).
    void ShowKept();

    struct Message {
        int libavLevel;
        std::string line;  // "[context] text"
        std::string text;  // "text"
    };

    // Called by the routing for each message of this thread.
    void Keep(Message message) { kept_.push_back(std::move(message)); }

  private:
    std::vector<Message> kept_;
    LibavMessageCapture* outer_ = nullptr;
};

}  // namespace feedcat
