#include "play/PlayReport.h"

#include <cmath>
#include <cstdio>

#include "console/Log.h"
#include "console/ReportOnce.h"

namespace feedcat {
namespace {

// "M:SS.d", or "H:MM:SS.d" from an hour on, the tenths cut (a clock shows 0:00.9 until a
// second has passed); "?" for an unknown time.
std::string TimeText(double ms) {
    if (ms < 0.0) {
        return ms <= -1.0 ? "?" : "0:00.0";
    }
    const long long tenths = static_cast<long long>(std::floor(ms / 100.0));
    const long long seconds = tenths / 10;
    char text[48];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof(text), "%lld:%02lld:%02lld.%lld", seconds / 3600,
                      seconds / 60 % 60, seconds % 60, tenths % 10);
    } else {
        std::snprintf(text, sizeof(text), "%lld:%02lld.%lld", seconds / 60, seconds % 60,
                      tenths % 10);
    }
    return text;
}

std::string Span(const PlayMoment& moment) {
    return TimeText(std::max(0.0, moment.positionMs)) + " / " + TimeText(moment.durationMs);
}

}  // namespace

std::string PlayTitle(const PlayMoment& moment) {
    return "feedcat " + Span(moment) + (moment.paused ? " (paused)" : "") +
           (moment.muted ? " (muted)" : "");
}

std::string PlayStatusLine(const PlayMoment& moment, const PlayStats& stats) {
    char numbers[120];
    std::snprintf(numbers, sizeof(numbers), "  shown %lld  dropped %lld  A/V %+.0f ms",
                  static_cast<long long>(stats.shown()), static_cast<long long>(stats.dropped()),
                  stats.lastOffsetMs());
    return Span(moment) + numbers + (moment.paused ? "  paused" : "") +
           (moment.muted ? "  muted" : "");
}

std::string PlaySummaryLine(const PlaySummary& summary) {
    char numbers[160];
    std::snprintf(numbers, sizeof(numbers),
                  "%lld frames shown, %lld dropped, largest A/V offset %.0f ms",
                  static_cast<long long>(summary.shown), static_cast<long long>(summary.dropped),
                  std::fabs(summary.largestOffsetMs));
    return (summary.toTheEnd ? "played " : "stopped at ") + TimeText(summary.positionMs) + " of " +
           TimeText(summary.durationMs) + ": " + numbers;
}

std::string PlaySummaryJson(const PlaySummary& summary) {
    char join[32] = "null";
    if (summary.sawJoin) {
        std::snprintf(join, sizeof(join), "%.1f", summary.worstJoinLatenessMs);
    }
    char numbers[400];
    std::snprintf(numbers, sizeof(numbers),
                  "{\"play\":true,\"position_ms\":%d,\"duration_ms\":%d,\"played_to_end\":%s,"
                  "\"frames_shown\":%lld,\"frames_dropped\":%lld,\"largest_av_offset_ms\":%.1f,"
                  "\"join_lateness_ms\":%s,\"sample_frames\":%lld,\"warnings\":%d,"
                  "\"exit_status\":%d",
                  summary.positionMs, summary.durationMs, summary.toTheEnd ? "true" : "false",
                  static_cast<long long>(summary.shown), static_cast<long long>(summary.dropped),
                  summary.largestOffsetMs, join, static_cast<long long>(summary.sampleFrames),
                  static_cast<int>(summary.warnings.size()), summary.exitStatus);
    return numbers + (",\"warning_list\":" + WarningListJson(summary.warnings)) +
           ",\"error\":" + ErrorJson(summary.error) + "}";
}

int EndPlayEarly(int status, const RunError& error, bool json) {
    if (!error.message.empty()) {
        LogError(error.message);
    }
    if (json) {
        PlaySummary summary;
        summary.exitStatus = status;
        summary.error = error;
        WriteReportOnce(PlaySummaryJson(summary));
    }
    return status;
}

}  // namespace feedcat
