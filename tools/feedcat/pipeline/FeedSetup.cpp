#include "pipeline/FeedSetup.h"

namespace feedcat {
namespace {

// feedcat keeps every picture's shape unless told otherwise (bars fill the rest of the frame).
constexpr std::int32_t kFitClipMode = 1;

// Adds source (twice for an av: source), noting each id the library gave in added.
bool AddSource(FeedHandle feed, const Options& options, const SourceArg& source,
               std::vector<AddedSource>* added) {
    const char* file = source.file.c_str();
    if (source.kind != SourceKind::kAudio) {
        // The plain add when neither is given: the library's own defaults, as a host would.
        const bool plain = !options.hasCrop && !options.hasBars;
        const std::int32_t id =
            plain
                ? FeedAddVideoSource(feed, file, source.startMs, source.stopMs)
                : FeedAddVideoSourceEx(feed, file, options.hasCrop ? options.crop.data() : nullptr,
                                       static_cast<std::int32_t>(options.barsColour),
                                       source.startMs, source.stopMs);
        if (id < 0) {
            return false;
        }
        added->push_back(AddedSource{source.file, id});
    }
    if (source.kind != SourceKind::kVideo) {
        const std::int32_t id = FeedAddAudioSource(feed, file, source.startMs, source.stopMs);
        if (id < 0) {
            return false;
        }
        added->push_back(AddedSource{source.file, id});
    }
    return true;
}

bool SetFormat(FeedHandle feed, const Options& options, FrameRate frameRate) {
    if (options.width > 0 && !FeedSetVideoSize(feed, options.width, options.height)) {
        return false;
    }
    if (options.channels > 0 && !FeedSetAudioChannels(feed, options.channels)) {
        return false;
    }
    return FeedSetFrameRate(feed, frameRate.value()) &&
           FeedSetAudioSampleRate(feed, options.sampleRate);
}

}  // namespace

FrameRate OutputFrameRate(const Options& options, FrameRate firstVideoRate) {
    constexpr FrameRate kRateWithoutVideo{25, 1};
    return options.fps.given() ? options.fps
                               : (firstVideoRate.given() ? firstVideoRate : kRateWithoutVideo);
}

bool ConfigureFeed(FeedHandle feed, const Options& options, const std::vector<SourceArg>& sources,
                   FrameRate frameRate, const std::function<bool()>& stopRequested,
                   std::vector<AddedSource>* added, std::string* error, std::string* errorSource) {
    for (const SourceArg& source : sources) {
        // Each add opens the file: a long list takes a while, and may be interrupted.
        if (stopRequested()) {
            return false;
        }
        if (!AddSource(feed, options, source, added)) {
            *error = "the library refused source '" + source.file + "': " + FeedGetErrorText(feed);
            *errorSource = source.file;
            return false;
        }
    }
    if (!SetFormat(feed, options, frameRate)) {
        *error = std::string("the library refused the output format: ") + FeedGetErrorText(feed);
        return false;
    }
    FeedSetVideoFade(feed, options.videoFadeIn.enabled ? 1 : 0, options.videoFadeIn.lengthMs,
                     options.videoFadeIn.colour, options.videoFadeOut.enabled ? 1 : 0,
                     options.videoFadeOut.lengthMs, options.videoFadeOut.colour);
    FeedSetAudioFade(feed, options.audioFadeIn.enabled ? 1 : 0, options.audioFadeIn.lengthMs,
                     options.audioFadeOut.enabled ? 1 : 0, options.audioFadeOut.lengthMs);
    FeedSetClipMode(feed, options.clipMode >= 0 ? options.clipMode : kFitClipMode);
    FeedSetSyncEnabled(feed, options.sync ? 1 : 0);
    return true;
}

}  // namespace feedcat
