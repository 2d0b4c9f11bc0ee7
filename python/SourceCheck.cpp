#include "SourceCheck.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
}

namespace feedpy {
namespace {

constexpr const char kLavfiPrefix[] = "lavfi:";

// The engine's rule: demuxers that open further files or URLs named inside the file
// (playlists, manifests, edit lists, sidecar files) or run scripts are not used, nor devices
// and demuxers that open their input themselves. A file only they accept plays as black.
constexpr const char kRefusedDemuxers[] =
    "avisynth,concat,dash,hls,image2,imf,lavfi,sdp,vobsub,vapoursynth,webm_dash_manifest";

const std::string& FileDemuxers() {
    static const std::string list = [] {
        std::string names;
        void* iterator = nullptr;
        while (const AVInputFormat* format = av_demuxer_iterate(&iterator)) {
            const bool device =
                format->priv_class != nullptr && AV_IS_INPUT_DEVICE(format->priv_class->category);
            if (device || (format->flags & AVFMT_NOFILE) != 0 ||
                av_match_list(format->name, kRefusedDemuxers, ',') != 0) {
                continue;
            }
            names += names.empty() ? "" : ",";
            names += format->name;
        }
        return names;
    }();
    return list;
}

struct InputCloser {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

// Options for avformat_open_input, which consumes the entries it recognises.
class Options {
  public:
    Options() = default;
    ~Options() { av_dict_free(&dictionary_); }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    bool Set(const char* key, const char* value) {
        return av_dict_set(&dictionary_, key, value, 0) >= 0;
    }
    AVDictionary** address() { return &dictionary_; }

  private:
    AVDictionary* dictionary_ = nullptr;
};

// A regular file only (a FIFO or device could block, a directory never ends), and the name
// prefixed with "file:" so that FFmpeg never reads a protocol out of it. Reads the header
// only; the caller probes further when the header is not enough.
InputPtr OpenLocalFile(const std::string& path) {
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    Options options;
    if (!options.Set("protocol_whitelist", "file") ||
        !options.Set("format_whitelist", FileDemuxers().c_str())) {
        return nullptr;
    }
    AVFormatContext* opened = nullptr;
    const std::string url = "file:" + path;
    // On failure avformat_open_input frees what it allocated and leaves `opened` null.
    if (avformat_open_input(&opened, url.c_str(), nullptr, options.address()) < 0) {
        return nullptr;
    }
    return InputPtr(opened);
}

// As the engine chooses: a stream of the kind with a decoder, a picture size or a sample
// format; cover art is never the video.
bool IsPlayable(const AVStream* stream, AVMediaType type) {
    const AVCodecParameters* parameters = stream->codecpar;
    if (parameters->codec_type != type || avcodec_find_decoder(parameters->codec_id) == nullptr) {
        return false;
    }
    if (type == AVMEDIA_TYPE_VIDEO) {
        return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && parameters->width > 0 &&
               parameters->height > 0;
    }
    return parameters->sample_rate > 0 && parameters->ch_layout.nb_channels > 0;
}

std::int32_t ToMs(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE || value < 0) {
        return -1;
    }
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(av_rescale_q(value, timeBase, AVRational{1, 1000}), INT32_MAX));
}

// The engine's stream: FFmpeg's best of the type if playable, else the first playable one.
const AVStream* ChoosePlayable(AVFormatContext* input, AVMediaType type) {
    const int best = av_find_best_stream(input, type, -1, -1, nullptr, 0);
    if (best >= 0 && IsPlayable(input->streams[best], type)) {
        return input->streams[best];
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (IsPlayable(input->streams[i], type)) {
            return input->streams[i];
        }
    }
    return nullptr;
}

// The stream's own length, else the container's; -1 when neither is known.
std::int32_t LengthMs(const AVFormatContext* input, const AVStream* stream) {
    const std::int32_t length = ToMs(stream->duration, stream->time_base);
    return length >= 0 ? length : ToMs(input->duration, AV_TIME_BASE_Q);
}

}  // namespace

SourceCheck CheckSource(const std::string& name, bool video) {
    SourceCheck check;
    if (name.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) == 0) {
        check.status = SourceStatus::Plays;
        return check;
    }
    const InputPtr input = OpenLocalFile(name);
    if (!input) {
        return check;
    }
    const AVMediaType type = video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
    // Most containers (MP4, MKV, WAV, MP3 with its header) name their streams, codecs, sizes,
    // rates and length in the header, which costs milliseconds to read. Probing the packets
    // (avformat_find_stream_info, which decodes some) costs a tenth of a second on an HD
    // file, so it is done only when the header leaves the stream or the length unknown, as it
    // does for MPEG-TS and other headerless formats. Probing only adds what it finds, so a
    // stream the header shows is one the engine finds too.
    const AVStream* chosen = ChoosePlayable(input.get(), type);
    if (chosen == nullptr || LengthMs(input.get(), chosen) < 0) {
        if (avformat_find_stream_info(input.get(), nullptr) < 0) {
            return check;  // the engine gives up on such a file too
        }
        chosen = ChoosePlayable(input.get(), type);
    }
    if (chosen == nullptr) {
        check.status = SourceStatus::NoStream;
        return check;
    }
    check.status = SourceStatus::Plays;
    check.lengthMs = LengthMs(input.get(), chosen);
    return check;
}

}  // namespace feedpy
