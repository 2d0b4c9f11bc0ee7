#include "OutputFormat.h"

#include <algorithm>
#include <cctype>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace feedcat {
namespace {

// Container chosen by the output's extension.
const std::map<std::string, std::string>& MuxerByExtension() {
    static const std::map<std::string, std::string> muxers = {
        {"mp4", "mp4"}, {"mkv", "matroska"},     {"mov", "mov"},
        {"wav", "wav"}, {"y4m", "yuv4mpegpipe"}, {"nut", "nut"}};
    return muxers;
}

const AVCodec* FirstEncoder(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) {
            return codec;
        }
    }
    return nullptr;
}

// The encoders we use for a container unless told otherwise.
void DefaultEncoders(const AVOutputFormat* muxer, const AVCodec** video, const AVCodec** audio) {
    const std::string name = muxer->name;
    if (name == "mp4" || name == "mov" || name == "matroska") {
        *video = FirstEncoder({"libx264", "mpeg4"});
        *audio = FirstEncoder({"aac"});
    } else if (name == "wav") {
        *video = nullptr;
        *audio = FirstEncoder({"pcm_s16le"});
    } else if (name == "yuv4mpegpipe") {
        *video = FirstEncoder({"wrapped_avframe"});  // raw frames; FFmpeg 5.1 y4m takes only these
        *audio = nullptr;
    } else if (name == "nut") {
        *video = FirstEncoder({"libx264", "mpeg4"});
        *audio = FirstEncoder({"pcm_s16le"});
    } else {
        *video = muxer->video_codec != AV_CODEC_ID_NONE ? avcodec_find_encoder(muxer->video_codec)
                                                        : nullptr;
        *audio = muxer->audio_codec != AV_CODEC_ID_NONE ? avcodec_find_encoder(muxer->audio_codec)
                                                        : nullptr;
    }
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

    if (!options.format.empty()) {
        plan->muxer = av_guess_format(options.format.c_str(), nullptr, nullptr);
        if (plan->muxer == nullptr) {
            *error = "unknown output format '" + options.format + "'";
            return false;
        }
    } else {
        const std::size_t slash = options.output.rfind('/');
        const std::size_t dot = options.output.rfind('.');
        std::string extension;
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
            extension = options.output.substr(dot + 1);
        }
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const auto found = MuxerByExtension().find(extension);
        if (found == MuxerByExtension().end()) {
            *error = "unknown output extension in '" + options.output +
                     "': use .mp4, .mkv, .mov, .wav, .y4m or .nut, or give --format";
            return false;
        }
        plan->muxer = av_guess_format(found->second.c_str(), nullptr, nullptr);
        if (plan->muxer == nullptr) {
            *error = "this FFmpeg has no '" + found->second + "' muxer";
            return false;
        }
    }

    DefaultEncoders(plan->muxer, &plan->videoEncoder, &plan->audioEncoder);
    if (!options.videoCodec.empty() && !PickEncoder(options.videoCodec, AVMEDIA_TYPE_VIDEO,
                                                    plan->muxer, &plan->videoEncoder, error)) {
        return false;
    }
    if (!options.audioCodec.empty() && !PickEncoder(options.audioCodec, AVMEDIA_TYPE_AUDIO,
                                                    plan->muxer, &plan->audioEncoder, error)) {
        return false;
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
    return true;
}

}  // namespace feedcat
