#include "output/EncoderQuality.h"

#include <algorithm>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

namespace feedcat {
namespace {

constexpr char kX264[] = "libx264";
constexpr char kX265[] = "libx265";
constexpr char kVp9[] = "libvpx-vp9";
constexpr double kX264DefaultCrf = 23.0;  // x264's own default, set so that it shows
constexpr double kVp9DefaultCrf = 31.0;   // what libvpx's guide suggests for VP9 at HD
constexpr char kX264DefaultPreset[] = "veryfast";
constexpr std::int64_t kAudioBitratePerChannel = 64000;

bool Named(const AVCodec* codec, const char* name) {
    return std::string(codec->name) == name;
}

bool HasPrivateOption(const AVCodec* codec, const char* option) {
    // av_opt_find reads an object's class through its first field; a pointer to the class
    // stands in for the object (AV_OPT_SEARCH_FAKE_OBJ).
    const AVClass* privateClass = codec->priv_class;
    return privateClass != nullptr &&
           av_opt_find(&privateClass, option, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

// The constant-quality scale of an encoder with a crf option, as its library checks it.
double MostCrf(const AVCodec* codec) {
    return Named(codec, kX264) || Named(codec, kX265) ? 51.0 : 63.0;
}

bool Lossless(const AVCodec* codec) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    // H.264 and others can be lossless too: only codecs that are never lossy count.
    return (descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0 &&
            (descriptor->props & AV_CODEC_PROP_LOSSY) == 0) ||
           codec->id == AV_CODEC_ID_WRAPPED_AVFRAME;
}

std::string CheckVideo(const QualitySettings& quality, const AVCodec* video) {
    const std::string name = video->name;
    if (Lossless(video) &&
        (quality.crf >= 0.0 || !quality.preset.empty() || quality.videoBitrate > 0)) {
        return "the video encoder '" + name +
               "' is lossless: --crf, --preset and --video-bitrate do not apply";
    }
    if (quality.crf >= 0.0) {
        if (!HasPrivateOption(video, "crf")) {
            return "the video encoder '" + name +
                   "' has no constant quality (--crf): use --video-bitrate, or libx264 or "
                   "libvpx-vp9";
        }
        if (quality.crf > MostCrf(video)) {
            char most[16];
            std::snprintf(most, sizeof(most), "%g", MostCrf(video));
            return "--crf for '" + name + "' goes from 0 to " + most;
        }
    }
    if (!quality.preset.empty() && !(Named(video, kX264) || Named(video, kX265))) {
        return "--preset sets libx264's speed; the video encoder is '" + name + "'";
    }
    return "";
}

}  // namespace

QualitySettings QualityFrom(const Options& options) {
    QualitySettings quality;
    quality.crf = options.crf;
    quality.preset = options.preset;
    quality.videoBitrate = options.videoBitrate;
    quality.audioBitrate = options.audioBitrate;
    return quality;
}

std::string CheckQuality(const QualitySettings& quality, const AVCodec* video,
                         const AVCodec* audio) {
    if (video != nullptr) {
        const std::string problem = CheckVideo(quality, video);
        if (!problem.empty()) {
            return problem;
        }
    }
    if (audio != nullptr && quality.audioBitrate > 0 && Lossless(audio)) {
        return "the audio encoder '" + std::string(audio->name) +
               "' is lossless: --audio-bitrate does not apply";
    }
    return "";
}

void ApplyVideoQuality(const QualitySettings& quality, AVCodecContext* encoder,
                       AVDictionary** options) {
    const AVCodec* codec = encoder->codec;
    char crf[32];
    if (Named(codec, kX264) || Named(codec, kX265)) {
        av_dict_set(options, "preset",
                    quality.preset.empty() ? kX264DefaultPreset : quality.preset.c_str(), 0);
    }
    if (Named(codec, kX265)) {
        // x265 writes its banner and figures to standard error itself, past FFmpeg's log.
        av_dict_set(options, "x265-params", "log-level=error", 0);
    }
    if (quality.videoBitrate > 0) {
        encoder->bit_rate = quality.videoBitrate;
        return;
    }
    if (Named(codec, kX264) || Named(codec, kX265)) {
        std::snprintf(crf, sizeof(crf), "%g", quality.crf >= 0.0 ? quality.crf : kX264DefaultCrf);
        av_dict_set(options, "crf", crf, 0);
    } else if (Named(codec, kVp9)) {
        // Constant quality needs a bit rate of 0 (libvpx's default is a fixed 256 kb/s); the
        // speed settings are the usual ones for encoding in about real time.
        std::snprintf(crf, sizeof(crf), "%g", quality.crf >= 0.0 ? quality.crf : kVp9DefaultCrf);
        av_dict_set(options, "crf", crf, 0);
        encoder->bit_rate = 0;
        av_dict_set(options, "deadline", "good", 0);
        av_dict_set(options, "cpu-used", "4", 0);
        av_dict_set(options, "row-mt", "1", 0);
    } else if (quality.crf >= 0.0) {
        std::snprintf(crf, sizeof(crf), "%g", quality.crf);
        av_dict_set(options, "crf", crf, 0);
    } else if (codec->id == AV_CODEC_ID_MPEG4) {
        encoder->bit_rate = 4000000;
    }
}

void ApplyAudioQuality(const QualitySettings& quality, AVCodecContext* encoder) {
    if (quality.audioBitrate > 0) {
        encoder->bit_rate = quality.audioBitrate;
    } else if (encoder->codec_id == AV_CODEC_ID_AAC || encoder->codec_id == AV_CODEC_ID_OPUS) {
        std::int64_t perChannel = kAudioBitratePerChannel;
        if (encoder->codec_id == AV_CODEC_ID_AAC) {
            // AAC holds at most 6144 bits per channel in a frame of 1024 samples: at a low rate
            // (8000 Hz) the usual figure is more than it can take.
            perChannel = std::min<std::int64_t>(perChannel, 6 * encoder->sample_rate);
        }
        encoder->bit_rate = perChannel * encoder->ch_layout.nb_channels;
    }
}

}  // namespace feedcat
