#include "output/WritableFormats.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace feedcat {
namespace {

struct Preference {
    const char* muxers;                        // libavformat names, each followed by a space
    std::initializer_list<const char*> video;  // encoders by name, the first this FFmpeg has
    std::initializer_list<const char*> audio;
};

// Where the muxer's own defaults are not what users expect today (MPEG-2 in .ts, FLV1 and MP3
// in .flv, Vorbis in .mkv), or need an encoder FFmpeg ships only as a library's wrapper. An
// empty list keeps the muxer's own default.
const Preference kPreferences[] = {
    {"mp4 mov ipod psp ismv f4v 3gp 3g2 matroska mpegts flv ", {"libx264", "mpeg4"}, {"aac"}},
    {"webm ", {"libvpx-vp9", "libvpx"}, {"libopus", "libvorbis"}},
    {"nut ", {"libx264", "mpeg4"}, {"pcm_s16le"}},
    {"avi ", {"mpeg4"}, {"libmp3lame", "ac3"}},
    {"ogg ogv ", {"libtheora"}, {"libvorbis", "flac"}},
    {"yuv4mpegpipe ", {"wrapped_avframe"}, {}},  // raw frames: FFmpeg 5.1's y4m takes only these
};

// Extensions of sound alone whose container could also hold pictures.
const char* const kSoundOnlyExtensions[] = {"m4a", "m4b", "wma"};

// Containers that take only what few sources give (fixed frame sizes or rates, one codec's
// profile, a retro machine's screen), or that nothing reads back as written. Those that write
// no file of their own (image sequences, HLS, DASH) are left out by their flag.
const char kNotWritten[] =
    // Fixed frame sizes, rates or profiles (DV, GXF, MXF, H.261, H.263, DNxHD, sides in
    // multiples of 16), or a machine's own format (A64, AMV, RoQ, filmstrip).
    "a64 amv dnxhd dv filmstrip gxf h261 h263 mxf mxf_opatom rm roq "
    // Sound at one rate or channel count the muxer or encoder insists on.
    "alp daud g723_1 gsm mmf rso swf "
    // One picture, or pictures FFmpeg cannot read back (animated WebP and AVIF), or AV1
    // through libaom, which at its defaults takes seconds for every frame.
    "avif ico obu webp "
    // Motion JPEG: its encoder takes only full-range pictures.
    "mjpeg mpjpeg "
    // Raw samples or pixels without a header: nothing reads them back without being told what
    // they are (FFmpeg reads aptX, DFPWM and G.722 back at a rate of its own).
    "alaw aptx aptx_hd dfpwm g722 mulaw rawvideo s16le s8 u16le u8 ";

bool Listed(const char* names, const char* name) {
    const std::string list = std::string(" ") + names;
    return list.find(std::string(" ") + name + " ") != std::string::npos;
}

const AVCodec* FirstEncoder(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) {
            return codec;
        }
    }
    return nullptr;
}

// The encoder for id that the muxer takes, or null.
const AVCodec* EncoderFor(const AVOutputFormat* muxer, AVCodecID id) {
    if (id == AV_CODEC_ID_NONE) {
        return nullptr;
    }
    const AVCodec* codec = avcodec_find_encoder(id);
    // An experimental encoder (DTS, TrueHD, MLP) does not open without -strict -2.
    return codec != nullptr && (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) == 0 &&
                   avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL) != 0
               ? codec
               : nullptr;
}

bool SoundOnly(const std::string& extension) {
    for (const char* sound : kSoundOnlyExtensions) {
        if (extension == sound) {
            return true;
        }
    }
    return false;
}

bool Writable(const AVOutputFormat* muxer) {
    return muxer->extensions != nullptr && (muxer->flags & AVFMT_NOFILE) == 0 &&
           !Listed(kNotWritten, muxer->name);
}

std::vector<WritableFormat> FindFormats() {
    std::vector<WritableFormat> formats;
    void* state = nullptr;
    while (const AVOutputFormat* muxer = av_muxer_iterate(&state)) {
        if (!Writable(muxer)) {
            continue;
        }
        const std::string extensions = muxer->extensions;
        std::size_t begin = 0;
        while (begin <= extensions.size()) {
            std::size_t comma = extensions.find(',', begin);
            comma = comma == std::string::npos ? extensions.size() : comma;
            std::string extension;
            for (char c : extensions.substr(begin, comma - begin)) {
                if (c != ' ') {
                    extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
            }
            begin = comma + 1;
            // An extension belongs to the muxer libavformat picks for it.
            const std::string probe = "x." + extension;
            if (extension.empty() || av_guess_format(nullptr, probe.c_str(), nullptr) != muxer) {
                continue;
            }
            WritableFormat format;
            format.muxer = muxer;
            DefaultEncoders(muxer, extension, &format.video, &format.audio);
            if (format.video == nullptr && format.audio == nullptr) {
                continue;
            }
            // Extensions of one muxer with the same encoders share a line.
            const bool same = !formats.empty() && formats.back().muxer == muxer &&
                              formats.back().video == format.video &&
                              formats.back().audio == format.audio;
            if (same) {
                formats.back().extensions.push_back(extension);
            } else {
                format.extensions.push_back(extension);
                formats.push_back(format);
            }
        }
    }
    return formats;
}

}  // namespace

void DefaultEncoders(const AVOutputFormat* muxer, const std::string& extension,
                     const AVCodec** video, const AVCodec** audio) {
    // A picture beside sound (MP3's, FLAC's cover) is no video stream.
    const bool cover =
        muxer->video_codec == AV_CODEC_ID_PNG && muxer->audio_codec != AV_CODEC_ID_NONE;
    const bool pictures = muxer->video_codec != AV_CODEC_ID_NONE && !cover && !SoundOnly(extension);
    const bool sound = muxer->audio_codec != AV_CODEC_ID_NONE;
    *video = pictures ? EncoderFor(muxer, muxer->video_codec) : nullptr;
    *audio = sound ? EncoderFor(muxer, muxer->audio_codec) : nullptr;
    for (const Preference& preference : kPreferences) {
        if (Listed(preference.muxers, muxer->name)) {
            // Only for the kinds the container holds: .mka is Matroska without pictures.
            if (pictures && preference.video.size() > 0) {
                *video = FirstEncoder(preference.video);
            }
            if (sound && preference.audio.size() > 0) {
                *audio = FirstEncoder(preference.audio);
            }
        }
    }
}

const std::vector<WritableFormat>& WritableFormats() {
    static const std::vector<WritableFormat> formats = FindFormats();
    return formats;
}

const WritableFormat* FormatForExtension(const std::string& extension) {
    for (const WritableFormat& format : WritableFormats()) {
        for (const std::string& known : format.extensions) {
            if (known == extension) {
                return &format;
            }
        }
    }
    return nullptr;
}

std::string FormatsText() {
    std::string text = "Output extensions this FFmpeg writes, with the encoders each gets:\n";
    for (const WritableFormat& format : WritableFormats()) {
        std::string extensions;
        for (const std::string& extension : format.extensions) {
            extensions += (extensions.empty() ? "." : " .") + extension;
        }
        std::string line = "  " + extensions;
        line.resize(std::max<std::size_t>(line.size() + 1, 24), ' ');
        line += std::string(format.muxer->name);
        line.resize(std::max<std::size_t>(line.size() + 1, 40), ' ');
        line += std::string("video: ") + (format.video ? format.video->name : "-") +
                ", audio: " + (format.audio ? format.audio->name : "-");
        text += line + "\n";
    }
    return text;
}

}  // namespace feedcat
