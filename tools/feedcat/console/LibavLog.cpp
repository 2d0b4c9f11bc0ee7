#include "console/LibavLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <set>

#include "console/Log.h"

extern "C" {
#include <libavutil/log.h>
}

namespace feedcat {
namespace {

thread_local LibavMessageCapture* tCapture = nullptr;
// A message can arrive in pieces: the start of the line, then its continuation.
thread_local std::string tPending;
thread_local std::string tPendingContext;

std::mutex gReportedMutex;
std::set<std::string> gReported;  // reasons already given to the user; gReportedMutex

LogLevel FeedcatLevel(int libavLevel) {
    if (libavLevel <= AV_LOG_ERROR) {
        return LogLevel::kError;
    }
    if (libavLevel <= AV_LOG_WARNING) {
        return LogLevel::kWarning;
    }
    if (libavLevel <= AV_LOG_INFO) {
        return LogLevel::kVerbose;
    }
    if (libavLevel <= AV_LOG_DEBUG) {
        return LogLevel::kDebug;
    }
    return LogLevel::kTrace;
}

// The lowest FFmpeg level that feedcat's level shows (FFmpeg skips the rest itself); errors are
// always produced, since a capture needs them for its reasons.
int LibavLevelShown() {
    for (int libav : {AV_LOG_TRACE, AV_LOG_DEBUG, AV_LOG_VERBOSE, AV_LOG_INFO, AV_LOG_WARNING}) {
        if (LogShows(FeedcatLevel(libav))) {
            return libav;
        }
    }
    return AV_LOG_ERROR;
}

bool AlreadyReported(const std::string& text) {
    std::lock_guard<std::mutex> lock(gReportedMutex);
    return gReported.count(text) != 0;
}

void Show(int libavLevel, const std::string& line, const std::string& text) {
    const LogLevel level = AlreadyReported(text) ? LogLevel::kDebug : FeedcatLevel(libavLevel);
    Log(level, line);
}

std::string ContextName(void* context) {
    if (context == nullptr) {
        return "";
    }
    const AVClass* avClass = *static_cast<AVClass**>(context);
    if (avClass == nullptr || avClass->item_name == nullptr) {
        return "";
    }
    const char* name = avClass->item_name(context);
    return name != nullptr ? name : "";
}

void OnLibavMessage(void* context, int level, const char* format, va_list arguments) {
    if (level > av_log_get_level()) {
        return;
    }
    char piece[1024];
    std::vsnprintf(piece, sizeof(piece), format, arguments);
    if (tPending.empty()) {
        tPendingContext = ContextName(context);
    }
    tPending += piece;
    if (tPending.empty() || tPending.back() != '\n') {
        return;  // the rest of the line comes in the next piece
    }
    std::string text = tPending.substr(0, tPending.size() - 1);
    tPending.clear();
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return;
    }
    const std::string line = tPendingContext.empty() ? text : "[" + tPendingContext + "] " + text;
    const LibavMessageCapture::Message message{level, line, text};
    if (tCapture != nullptr) {
        tCapture->Keep(message);
        return;
    }
    Show(level, line, text);
}

}  // namespace

void RouteLibavMessages() {
    av_log_set_level(LibavLevelShown());
    av_log_set_callback(OnLibavMessage);
}

LibavMessageCapture::LibavMessageCapture() : outer_(tCapture) {
    tCapture = this;
}

LibavMessageCapture::~LibavMessageCapture() {
    tCapture = outer_;
}

std::string LibavMessageCapture::TakeReason() {
    // Everything kept leads up to the failure the caller reports in its own line.
    std::string reason;
    std::lock_guard<std::mutex> lock(gReportedMutex);
    for (const Message& message : kept_) {
        gReported.insert(message.text);
        if (message.libavLevel <= AV_LOG_ERROR) {
            reason = message.text;
        }
    }
    kept_.clear();
    return reason;
}

void LibavMessageCapture::ShowKept() {
    for (const Message& message : kept_) {
        Show(message.libavLevel, message.line, message.text);
    }
    kept_.clear();
}

}  // namespace feedcat
