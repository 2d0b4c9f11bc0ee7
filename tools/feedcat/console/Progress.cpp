#include "console/Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "console/Console.h"
#include "console/Log.h"
#include "console/ReportOnce.h"

namespace feedcat {
namespace {

constexpr int kBarWidth = 30;

std::string Clock(double seconds) {
    const long total = std::max(0L, static_cast<long>(seconds + 0.5));
    char text[32];
    std::snprintf(text, sizeof(text), "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

double Speed(const RunSummary& summary) {
    return summary.wallSeconds > 0.0 ? summary.durationMs / 1000.0 / summary.wallSeconds : 0.0;
}

}  // namespace

Progress::Progress(bool quiet, bool json)
    : bar_(!quiet && LogShows(LogLevel::kInfo) && isatty(STDERR_FILENO) == 1),
      quiet_(quiet),
      json_(json) {}

void Progress::Update(std::int32_t positionMs, std::int32_t durationMs, std::int64_t frames,
                      double wallSeconds) {
    if (!bar_ || (lastDraw_ >= 0.0 && wallSeconds - lastDraw_ < 0.2)) {
        return;
    }
    lastDraw_ = wallSeconds;
    const double position = std::max(0, positionMs) / 1000.0;
    const double duration = std::max(0, durationMs) / 1000.0;
    const double fraction = duration > 0.0 ? std::min(1.0, position / duration) : 0.0;
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    const double fps = wallSeconds > 0.0 ? frames / wallSeconds : 0.0;
    const double speed = wallSeconds > 0.0 ? position / wallSeconds : 0.0;
    const std::string eta = speed > 0.0 ? Clock((duration - position) / speed) : "?";
    char line[160];
    std::snprintf(line, sizeof(line), "[%s] %s / %s  %5.0f fps  ETA %s", bar.c_str(),
                  Clock(position).c_str(), Clock(duration).c_str(), fps, eta.c_str());
    ConsoleStatus(line);
}

namespace {

// "libx264 640x360 yuv420p at 25 fps", "aac 44100 Hz, 2 channels, fltp"; what a null output
// counted has no encoder.
std::string VideoLine(const VideoChoice& video) {
    char rate[48];
    std::snprintf(rate, sizeof(rate), "%g",
                  video.rateDen > 0 ? 1.0 * video.rateNum / video.rateDen : 0.0);
    return (video.encoder.empty() ? "delivered" : video.encoder) + " " +
           std::to_string(video.width) + "x" + std::to_string(video.height) + " " +
           video.pixelFormat + " at " + rate + " fps";
}

std::string AudioLine(const AudioChoice& audio) {
    return (audio.encoder.empty() ? "delivered" : audio.encoder) + " " +
           std::to_string(audio.sampleRate) + " Hz, " + std::to_string(audio.channels) +
           (audio.channels == 1 ? " channel, " : " channels, ") + audio.sampleFormat;
}

}  // namespace

void Progress::Finish(const RunSummary& summary) {
    if (bar_) {
        ConsoleEraseStatus();
    }
    // A failed run has said why; one stopped before anything came has said so.
    const bool empty = summary.interrupted && summary.frames == 0 && summary.sampleFrames == 0;
    if (!quiet_ && LogShows(LogLevel::kInfo) && summary.error.code.empty() && !empty) {
        char numbers[200];
        std::snprintf(numbers, sizeof(numbers),
                      "%lld frames, %lld sample frames, %.3f s in %.2f s (%.1fx real time)",
                      static_cast<long long>(summary.frames),
                      static_cast<long long>(summary.sampleFrames), summary.durationMs / 1000.0,
                      summary.wallSeconds, Speed(summary));
        ConsoleLine(std::string(summary.interrupted ? "stopped early, " : "") + summary.output +
                    ": " + numbers);
        std::string streams;
        if (summary.video.present) {
            streams = "video: " + VideoLine(summary.video);
        }
        if (summary.audio.present) {
            streams +=
                (streams.empty() ? "" : "; ") + std::string("audio: ") + AudioLine(summary.audio);
        }
        if (!streams.empty()) {
            ConsoleLine(streams);
        }
    }
    if (json_) {
        PrintJsonOnce(summary);
    }
}

namespace {

std::string OrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

std::string VideoJson(const VideoChoice& video) {
    if (!video.present) {
        return "null";
    }
    return "{\"encoder\":" + OrNull(video.encoder) + ",\"width\":" + std::to_string(video.width) +
           ",\"height\":" + std::to_string(video.height) + ",\"frame_rate\":\"" +
           std::to_string(video.rateNum) + "/" + std::to_string(video.rateDen) +
           "\",\"pixel_format\":" + JsonString(video.pixelFormat) + "}";
}

std::string AudioJson(const AudioChoice& audio) {
    if (!audio.present) {
        return "null";
    }
    return "{\"encoder\":" + OrNull(audio.encoder) +
           ",\"sample_rate\":" + std::to_string(audio.sampleRate) +
           ",\"channels\":" + std::to_string(audio.channels) +
           ",\"sample_format\":" + JsonString(audio.sampleFormat) + "}";
}

}  // namespace

std::string ErrorJson(const RunError& error) {
    if (error.code.empty()) {
        return "null";
    }
    return "{\"code\":" + JsonString(error.code) + ",\"message\":" + JsonString(error.message) +
           ",\"source\":" + OrNull(error.source) + "}";
}

std::string SummaryJson(const RunSummary& summary) {
    char numbers[320];
    std::snprintf(numbers, sizeof(numbers),
                  "\"frames\":%lld,\"sample_frames\":%lld,\"duration_ms\":%d,"
                  "\"wall_seconds\":%.3f,\"speed\":%.3f,\"interrupted\":%s,\"warnings\":%d,"
                  "\"exit_status\":%d",
                  static_cast<long long>(summary.frames),
                  static_cast<long long>(summary.sampleFrames), summary.durationMs,
                  summary.wallSeconds, Speed(summary), summary.interrupted ? "true" : "false",
                  static_cast<int>(summary.warnings.size()), summary.exitStatus);
    // The count stays as it always was; the list says what each warning was about.
    return "{\"output\":" + OrNull(summary.output) +
           ",\"written\":" + (summary.written ? "true" : "false") + "," + numbers +
           ",\"warning_list\":" + WarningListJson(summary.warnings) +
           ",\"video\":" + VideoJson(summary.video) + ",\"audio\":" + AudioJson(summary.audio) +
           ",\"error\":" + ErrorJson(summary.error) + "}";
}

std::string WarningListJson(const std::vector<SourceWarning>& warnings) {
    std::string list;
    for (const SourceWarning& warning : warnings) {
        list += (list.empty() ? "" : ",") + std::string("{\"source\":") + OrNull(warning.source) +
                ",\"message\":" + JsonString(warning.message) + "}";
    }
    return "[" + list + "]";
}

bool PrintJsonOnce(const RunSummary& summary) {
    return WriteReportOnce(SummaryJson(summary));
}

}  // namespace feedcat
