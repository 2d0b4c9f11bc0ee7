#include "pipeline/TimelinePlan.h"

#include <cstdlib>

#include "cli/TimeSyntax.h"

namespace feedcat {
namespace {

// Padding up to this long passes without a word (a frame or a codec's frame of sound).
constexpr std::int64_t kQuietPaddingMs = 1000;

bool OnVideo(SourceKind kind) {
    return kind != SourceKind::kAudio;
}

bool OnAudio(SourceKind kind) {
    return kind != SourceKind::kVideo;
}

std::int64_t SpanMs(const SourceArg& source) {
    return static_cast<std::int64_t>(source.stopMs) - source.startMs;
}

}  // namespace

TimelineLengths MeasureTimelines(const std::vector<SourceArg>& sources) {
    TimelineLengths lengths;
    for (const SourceArg& source : sources) {
        if (OnVideo(source.kind)) {
            lengths.video = true;
            lengths.videoMs += SpanMs(source);
        }
        if (OnAudio(source.kind)) {
            lengths.audio = true;
            lengths.audioMs += SpanMs(source);
        }
    }
    return lengths;
}

std::string PaddingWarning(const TimelineLengths& lengths) {
    const std::int64_t gap = std::llabs(lengths.videoMs - lengths.audioMs);
    if (!lengths.video || !lengths.audio || gap <= kQuietPaddingMs) {
        return "";
    }
    const bool videoShorter = lengths.videoMs < lengths.audioMs;
    const std::string shorter = videoShorter ? "video" : "audio";
    const std::string longer = videoShorter ? "audio" : "video";
    return "the " + shorter + " timeline (" +
           FormatSeconds(videoShorter ? lengths.videoMs : lengths.audioMs) + ") is " +
           FormatSeconds(gap) + " shorter than the " + longer + " (" +
           FormatSeconds(videoShorter ? lengths.audioMs : lengths.videoMs) + "): its last " +
           FormatSeconds(gap) + " are " + (videoShorter ? "black" : "silence") +
           " (each kind's sources play one after another; --shortest ends the output with the "
           "shorter)";
}

void KeepKinds(bool video, bool audio, std::vector<SourceArg>* sources) {
    std::vector<SourceArg> kept;
    for (SourceArg source : *sources) {
        const bool wantsVideo = video && OnVideo(source.kind);
        const bool wantsAudio = audio && OnAudio(source.kind);
        if (wantsVideo || wantsAudio) {
            source.kind = wantsVideo && wantsAudio
                              ? SourceKind::kBoth
                              : (wantsVideo ? SourceKind::kVideo : SourceKind::kAudio);
            kept.push_back(std::move(source));
        }
    }
    *sources = std::move(kept);
}

void EndWithTheShorter(std::vector<SourceArg>* sources) {
    const TimelineLengths lengths = MeasureTimelines(*sources);
    if (!lengths.video || !lengths.audio || lengths.videoMs == lengths.audioMs) {
        return;
    }
    const bool cutVideo = lengths.videoMs > lengths.audioMs;
    const std::int64_t end = cutVideo ? lengths.audioMs : lengths.videoMs;
    const SourceKind cutKind = cutVideo ? SourceKind::kVideo : SourceKind::kAudio;
    const SourceKind keptKind = cutVideo ? SourceKind::kAudio : SourceKind::kVideo;
    std::vector<SourceArg> cut;
    std::int64_t at = 0;  // where the next source starts on the timeline being cut
    for (const SourceArg& source : *sources) {
        if (!(cutVideo ? OnVideo(source.kind) : OnAudio(source.kind))) {
            cut.push_back(source);
            continue;
        }
        const std::int64_t span = SpanMs(source);
        const std::int64_t room = end - at;
        at += span;
        if (room >= span) {
            cut.push_back(source);
            continue;
        }
        if (source.kind == SourceKind::kBoth) {
            SourceArg other = source;
            other.kind = keptKind;
            cut.push_back(other);
        }
        if (room > 0) {
            SourceArg shortened = source;
            shortened.kind = cutKind;
            shortened.stopMs = static_cast<std::int32_t>(source.startMs + room);
            cut.push_back(shortened);
        }
    }
    *sources = std::move(cut);
}

}  // namespace feedcat
