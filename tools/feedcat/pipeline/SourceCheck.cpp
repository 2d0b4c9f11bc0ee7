#include "pipeline/SourceCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "cli/ExitCodes.h"
#include "cli/TimeSyntax.h"
#include "console/LibavLog.h"
#include "console/Log.h"
#include "media/MediaInput.h"

extern "C" {
#include <libavutil/rational.h>
}

namespace feedcat {
namespace {

constexpr char kLavfiPrefix[] = "lavfi:";

bool AsksForVideo(const SourceArg& source) {
    return source.kind != SourceKind::kAudio;
}

bool AsksForAudio(const SourceArg& source) {
    return source.kind != SourceKind::kVideo;
}

// Opens the source as the engine will; on failure, why (the file system's or FFmpeg's word).
bool Probe(const std::string& file, media::MediaInfo* info, std::string* reason) {
    LibavMessageCapture capture;
    if (media::ProbeMedia(file, info)) {
        capture.ShowKept();
        return true;
    }
    struct stat status {};
    if (file.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) != 0) {
        if (stat(file.c_str(), &status) != 0) {
            *reason = std::strerror(errno);
            return false;
        }
        if (!S_ISREG(status.st_mode)) {
            *reason = "not a regular file";
            return false;
        }
    }
    *reason = capture.TakeReason();
    if (reason->empty()) {
        *reason = file.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) == 0
                      ? "FFmpeg cannot build or run this graph"
                      : "not a media file FFmpeg can read here";
    }
    return false;
}

// "the video stream", "the audio stream" or "video and audio" the source asks for but the file
// lacks; "" when it has what is asked.
std::string MissingStreams(const SourceArg& source, const media::MediaInfo& info) {
    const bool noVideo = AsksForVideo(source) && !info.hasVideo;
    const bool noAudio = AsksForAudio(source) && !info.hasAudio;
    if (noVideo && noAudio) {
        return "video or audio";
    }
    return noVideo ? "video" : (noAudio ? "audio" : "");
}

std::string Played(SourceKind kind) {
    return kind == SourceKind::kAudio
               ? "silence"
               : (kind == SourceKind::kVideo ? "black" : "black and silence");
}

// The warning for times past the file's end, or "".
std::string PastTheEnd(const SourceArg& source, const media::MediaInfo& info) {
    std::string ends;
    if (AsksForVideo(source) && info.hasVideo && info.videoLengthMs >= 0 &&
        source.stopMs > info.videoLengthMs) {
        ends = "its video ends at " + FormatSeconds(info.videoLengthMs);
    }
    if (AsksForAudio(source) && info.hasAudio && info.audioLengthMs >= 0 &&
        source.stopMs > info.audioLengthMs) {
        ends += (ends.empty() ? "its audio ends at " : ", its audio at ") +
                FormatSeconds(info.audioLengthMs);
    }
    if (ends.empty()) {
        return "";
    }
    return "source '" + source.given + "' asks for " + FormatSeconds(source.startMs) + " to " +
           FormatSeconds(source.stopMs) + " of '" + source.file + "', but " + ends +
           ": the rest plays as " + Played(source.kind);
}

std::int32_t LengthMs(const SourceArg& source, const media::MediaInfo& info) {
    const std::int32_t video = AsksForVideo(source) && info.hasVideo ? info.videoLengthMs : -1;
    const std::int32_t audio = AsksForAudio(source) && info.hasAudio ? info.audioLengthMs : -1;
    return std::max(video, audio);
}

// What opening a file found, kept for every source that names it again.
struct Probed {
    bool opened = false;
    media::MediaInfo info;
    std::string reason;  // why it did not open
};

class Checker {
  public:
    explicit Checker(const Options& options) : options_(options) {}

    // False when the run cannot go on (result_.error says why).
    bool Check(const SourceArg& source);
    CheckedSources Take() { return std::move(result_); }

  private:
    bool Unplayable(const SourceArg& source, const std::string& problem);
    void Warn(const SourceArg& source, const std::string& message);
    bool Stop(int status, const std::string& error, const std::string& source);
    const Probed& ProbeOnce(const std::string& file);

    const Options& options_;
    CheckedSources result_;
    std::map<std::string, Probed> probed_;
};

bool Checker::Stop(int status, const std::string& error, const std::string& source) {
    result_.status = status;
    result_.error = error;
    result_.errorSource = source;
    return false;
}

const Probed& Checker::ProbeOnce(const std::string& file) {
    const auto known = probed_.find(file);
    if (known != probed_.end()) {
        return known->second;
    }
    Probed probed;
    probed.opened = Probe(file, &probed.info, &probed.reason);
    return probed_.emplace(file, std::move(probed)).first->second;
}

void Checker::Warn(const SourceArg& source, const std::string& message) {
    LogWarning(message);
    result_.warnings.push_back(SourceWarning{source.file, message});
}

// A source that cannot be played as asked: an error, or with --allow-missing a warning and a
// gap (left out when its length is unknown).
bool Checker::Unplayable(const SourceArg& source, const std::string& problem) {
    if (!options_.allowMissing) {
        return Stop(kExitFailure,
                    problem + " (--allow-missing plays it as " + Played(source.kind) + ")",
                    source.file);
    }
    if (!source.hasTimes) {
        Warn(source, problem + "; without times its length is unknown, so it is left out");
        return true;
    }
    if (source.openEnd) {
        Warn(source, problem + "; without its end its length is unknown, so it is left out");
        return true;
    }
    Warn(source, problem + "; it plays as " + Played(source.kind));
    result_.sources.push_back(source);
    return true;
}

bool Checker::Check(const SourceArg& given) {
    SourceArg source = given;
    const Probed& probed = ProbeOnce(source.file);
    if (!probed.opened) {
        return Unplayable(source, "cannot open source '" + source.file + "': " + probed.reason);
    }
    const media::MediaInfo& info = probed.info;
    const std::string missing = MissingStreams(source, info);
    // av: takes the file as it is: with one of the two streams there, the other plays as a gap
    // (a clip without sound is common); v: and a: ask for one stream and must find it.
    const bool partly =
        source.kind == SourceKind::kBoth && !missing.empty() && missing != "video or audio";
    if (!missing.empty() && !partly) {
        return Unplayable(source, "source '" + source.given + "': '" + source.file + "' has no " +
                                      missing + " stream");
    }
    if (partly && !source.kindGiven) {
        // A bare name asks for what the file has.
        source.kind = missing == "video" ? SourceKind::kAudio : SourceKind::kVideo;
    } else if (partly) {
        Warn(source, "source '" + source.given + "': '" + source.file + "' has no " + missing +
                         " stream; it plays as " + (missing == "video" ? "black" : "silence"));
    }
    if (!source.hasTimes || source.openEnd) {
        const std::int32_t length = LengthMs(source, info);
        if (length <= 0) {
            return Stop(kExitUsage,
                        "the length of '" + source.file + "' is unknown: give times (@START-STOP)",
                        source.file);
        }
        if (source.startMs >= length) {
            return Stop(kExitUsage,
                        "source '" + source.given + "' starts at " + FormatSeconds(source.startMs) +
                            ", but '" + source.file + "' ends at " + FormatSeconds(length) +
                            ": nothing is left to play",
                        source.file);
        }
        source.hasTimes = true;
        source.openEnd = false;
        source.stopMs = length;
    } else {
        const std::string past = PastTheEnd(source, info);
        if (!past.empty()) {
            Warn(source, past);
        }
    }
    if (AsksForVideo(source) && info.hasVideo && !result_.firstVideoRate.given()) {
        // The engine takes the first video clip's rate, read the same way.
        const AVRational rate = av_d2q(info.frameRate, 1001000);
        if (info.frameRate > 0.0 && rate.num > 0 && rate.den > 0) {
            result_.firstVideoRate = FrameRate{rate.num, rate.den};
        }
    }
    result_.sources.push_back(source);
    return true;
}

}  // namespace

CheckedSources CheckSources(const Options& options, const std::function<bool()>& stopRequested) {
    Checker checker(options);
    for (const SourceArg& source : options.sources) {
        if (stopRequested()) {
            CheckedSources stopped = checker.Take();
            stopped.stopped = true;
            return stopped;
        }
        if (!checker.Check(source)) {
            return checker.Take();
        }
    }
    CheckedSources result = checker.Take();
    if (result.sources.empty()) {
        result.status = kExitFailure;
        result.error = "no source can be played";
    }
    return result;
}

}  // namespace feedcat
