#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "Console.h"
#include "Log.h"

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

void Progress::Finish(const RunSummary& summary) {
    if (bar_) {
        ConsoleEraseStatus();
    }
    if (!quiet_ && LogShows(LogLevel::kInfo)) {
        char numbers[200];
        std::snprintf(numbers, sizeof(numbers),
                      "%lld frames, %lld sample frames, %.3f s in %.2f s (%.1fx real time)",
                      static_cast<long long>(summary.frames),
                      static_cast<long long>(summary.sampleFrames), summary.durationMs / 1000.0,
                      summary.wallSeconds, Speed(summary));
        ConsoleLine(std::string(summary.interrupted ? "stopped early, " : "") + summary.output +
                    ": " + numbers);
    }
    if (json_) {
        std::fprintf(stdout, "%s\n", SummaryJson(summary).c_str());
        std::fflush(stdout);
    }
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
    return "{\"output\":" + JsonString(summary.output) + "," + numbers +
           ",\"warning_list\":" + WarningListJson(summary.warnings) + "}";
}

std::string WarningListJson(const std::vector<SourceWarning>& warnings) {
    std::string list;
    for (const SourceWarning& warning : warnings) {
        list += (list.empty() ? "" : ",") + std::string("{\"source\":") +
                JsonString(warning.source) + ",\"message\":" + JsonString(warning.message) + "}";
    }
    return "[" + list + "]";
}

}  // namespace feedcat
