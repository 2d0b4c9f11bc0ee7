#include "output/OutputFormat.h"

#include <algorithm>
#include <cctype>

#include "output/EncoderQuality.h"
#include "output/WritableFormats.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace feedcat {
namespace {

// The output name's extension, lower case, without the dot; "" when it has none.
std::string ExtensionOf(const std::string& output) {
    const std::size_t slash = output.rfind('/');
    const std::size_t dot = output.rfind('.');
    std::string extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        extension = output.substr(dot + 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// A source of one kind the output cannot hold would leave nothing of itself in the file: say
// which, before anything runs. "" when every source has a place.
std::string SourceWithoutPlace(const Options& options, const OutputPlan& plan) {
    for (const SourceArg& source : options.sources) {
        const bool lost = (source.kind == SourceKind::kVideo && plan.videoEncoder == nullptr) ||
                          (source.kind == SourceKind::kAudio && plan.audioEncoder == nullptr);
        if (lost) {
            const bool video = source.kind == SourceKind::kVideo;
            return "'" + options.output + "' (" + plan.muxer->name + ") holds " +
                   (video ? "sound" : "pictures") + " only, so source '" + source.given +
                   "' would leave no stream in it: give it as " + (video ? "a:" : "v:") +
                   " or av: for its " + (video ? "sound" : "picture") + ", or choose another " +
                   "output (see --formats)";
        }
    }
    return "";
}

bool PickEncoder(const std::string& name, AVMediaType type, const AVOutputFormat* muxer,
                 const AVCodec** encoder, std::string* error) {
    const char* kind = type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr || codec->type != type) {
        *error = std::string("unknown ") + kind + " encoder '" + name + "'";
        return false;
    }
    if (muxer != nullptr && avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        *error = std::string("container '") + muxer->name + "' cannot hold " + kind + " codec '" +
                 name + "'";
        return false;
    }
    *encoder = codec;
    return true;
}

}  // namespace

bool ChooseOutput(const Options& options, OutputPlan* plan, std::string* error) {
    *plan = OutputPlan{};
    bool hasVideoSource = options.demo;
    bool hasAudioSource = options.demo;
    for (const SourceArg& source : options.sources) {
        hasVideoSource = hasVideoSource || source.kind != SourceKind::kAudio;
        hasAudioSource = hasAudioSource || source.kind != SourceKind::kVideo;
    }

    if (options.output == "null" && options.format.empty()) {
        plan->discard = true;
        plan->wantsVideo = hasVideoSource;
        plan->wantsAudio = hasAudioSource;
        return true;
    }

    const std::string extension = ExtensionOf(options.output);
    if (!options.format.empty()) {
        plan->muxer = av_guess_format(options.format.c_str(), nullptr, nullptr);
        if (plan->muxer == nullptr) {
            *error = "unknown output format '" + options.format + "'";
            return false;
        }
        DefaultEncoders(plan->muxer, extension, &plan->videoEncoder, &plan->audioEncoder);
    } else {
        const WritableFormat* format = FormatForExtension(extension);
        if (format == nullptr) {
            *error = "unknown output extension in '" + options.output +
                     "': --formats lists those this FFmpeg writes; or give --format NAME";
            return false;
        }
        plan->muxer = format->muxer;
        DefaultEncoders(plan->muxer, extension, &plan->videoEncoder, &plan->audioEncoder);
    }

    if (!options.videoCodec.empty() && !PickEncoder(options.videoCodec, AVMEDIA_TYPE_VIDEO,
                                                    plan->muxer, &plan->videoEncoder, error)) {
        return false;
    }
    if (!options.audioCodec.empty() && !PickEncoder(options.audioCodec, AVMEDIA_TYPE_AUDIO,
                                                    plan->muxer, &plan->audioEncoder, error)) {
        return false;
    }
    if (!options.demo) {
        *error = SourceWithoutPlace(options, *plan);
        if (!error->empty()) {
            return false;
        }
    }
    if (!hasVideoSource) {
        plan->videoEncoder = nullptr;
    }
    if (!hasAudioSource) {
        plan->audioEncoder = nullptr;
    }
    plan->wantsVideo = plan->videoEncoder != nullptr;
    plan->wantsAudio = plan->audioEncoder != nullptr;
    if (!plan->wantsVideo && !plan->wantsAudio) {
        *error = "'" + options.output + "' (" + plan->muxer->name +
                 ") holds none of the sources' kinds: no stream to write";
        return false;
    }
    const std::string muxer = plan->muxer->name;
    plan->indexFirst = (muxer == "mp4" || muxer == "mov") && options.output != "-";
    *error = CheckQuality(QualityFrom(options), plan->videoEncoder, plan->audioEncoder);
    return error->empty();
}

}  // namespace feedcat
