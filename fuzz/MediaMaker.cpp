#include "fuzz/MediaMaker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>

#include "media/FFmpegHolders.h"
#include "media/PictureColour.h"
#include "tests/support/media/MediaFileWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace mediamaker {
namespace {

constexpr AVRational kTicks = {1, 10'000'000};

// Levels of each of R, G and B in the colour palette, far enough apart to survive lossy
// coding, far from 0 (black) and 255 (bar colours); and the grey levels for grey formats.
constexpr int kLevels[] = {48, 88, 128, 168, 208};
constexpr int kLevelTolerance = 16;
constexpr int kGreyLevels[] = {28, 46, 64, 82, 100, 118, 136, 154, 172, 190, 208, 226};
constexpr int kGreyTolerance = 8;
constexpr Rgb kCoarseColour = {208, 208, 208};
constexpr int kStripRows = 16;
// Jumps in audio timestamps from this on are gaps (silence); below it, readers may take them
// for rounding. 20 ms, in 100-ns units.
constexpr std::int64_t kGapTicks = 200'000;
// Pictures times frames above this are not made: some encoders (JPEG-LS, ProRes) take seconds
// for a large picture, and the session would be slow to check as well.
constexpr std::int64_t kMaxPixelFrames = 12'000'000;
// The reference reads a decoded picture scaled down to this square: a flat picture keeps its
// colour, and a large one costs little to read.
constexpr int kProbeSide = 8;

struct VideoEncoder {
    const char* name;
    bool qscale;  // takes a fixed quantiser (AV_CODEC_FLAG_QSCALE)
};

constexpr VideoEncoder kVideoEncoders[] = {
    {"mpeg4", true},      {"libx264", false},    {"mpeg2video", true}, {"mjpeg", true},
    {"mpeg1video", true}, {"ffv1", false},       {"rawvideo", false},  {"png", false},
    {"libvpx", false},    {"libvpx-vp9", false}, {"huffyuv", false},   {"ffvhuff", false},
    {"h263p", true},      {"h263", true},        {"flv", true},        {"msmpeg4", true},
    {"msmpeg4v2", true},  {"wmv2", true},        {"libtheora", true},  {"prores_ks", false},
    {"utvideo", false},   {"magicyuv", false},   {"qtrle", false},     {"gif", false},
    {"bmp", false},       {"libx264rgb", false}, {"dvvideo", false},   {"snow", true},
    {"libxvid", true},    {"libx265", false},    {"svq1", true},       {"jpegls", false},
    {"zmbv", false},      {"v210", false},       {"asv2", true},
};

// For encoders that take any pixel format (rawvideo): a spread of layouts.
constexpr AVPixelFormat kAnyFormats[] = {
    AV_PIX_FMT_YUV420P,   AV_PIX_FMT_YUYV422,     AV_PIX_FMT_RGB24,    AV_PIX_FMT_BGR0,
    AV_PIX_FMT_GRAY8,     AV_PIX_FMT_NV12,        AV_PIX_FMT_UYVY422,  AV_PIX_FMT_YUV444P,
    AV_PIX_FMT_YUV410P,   AV_PIX_FMT_YUV411P,     AV_PIX_FMT_RGB565LE, AV_PIX_FMT_PAL8,
    AV_PIX_FMT_MONOBLACK, AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_GBRP,     AV_PIX_FMT_RGBA,
    AV_PIX_FMT_NV21,      AV_PIX_FMT_GRAY16LE,    AV_PIX_FMT_YUVA420P, AV_PIX_FMT_BGR8,
    AV_PIX_FMT_YUV440P,   AV_PIX_FMT_RGB48LE,     AV_PIX_FMT_NV16,     AV_PIX_FMT_YVYU422};

const char* const kAudioEncoders[] = {
    nullptr,     "aac",       "libmp3lame", "mp2",           "ac3",       "pcm_s16le",
    "flac",      "libopus",   "libvorbis",  "pcm_u8",        "pcm_f32le", "alac",
    "eac3",      "pcm_s24le", "adpcm_ms",   "adpcm_ima_wav", "wmav2",     "pcm_alaw",
    "pcm_mulaw", "pcm_s16be", "opus",       "vorbis",        "mp2fixed",  "libtwolame",
    "tta",       "wavpack",   "libspeex",   "libgsm",        "g722",      "nellymoser",
    "adpcm_swf", "pcm_s32le", "pcm_f64le",  "adpcm_ima_qt",  "pcm_s8",    "libshine"};

constexpr int kAnyRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};

const char* const kMuxers[] = {"matroska", "mp4",          "mpegts",     "avi",       "mov", "nut",
                               "mpeg",     "flv",          "webm",       "ogg",       "asf", "3gp",
                               "ivf",      "yuv4mpegpipe", "mpeg2video", "h264",      "m4v", "mxf",
                               "dv",       "vob",          "hevc",       "mjpeg",     "gif", "f4v",
                               "ipod",     "psp",          "svcd",       "mpeg1video"};

template <typename T, std::size_t N>
const T& Pick(const T (&table)[N], int choice) {
    return table[static_cast<std::size_t>(choice < 0 ? -choice : choice) % N];
}

using CodecPtr = media::CodecContextPtr;
using media::FramePtr;
using media::InputPtr;
using media::PacketPtr;
using media::ScalerPtr;
using testmedia::AudioTrack;
using testmedia::EncoderOptions;
using testmedia::VideoTrack;

bool IsFullRangeFormat(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return false;
    }
}

bool IsCoarse(const AVPixFmtDescriptor* descriptor) {
    if ((descriptor->flags &
         (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_BAYER)) != 0) {
        return true;
    }
    for (int i = 0; i < descriptor->nb_components; ++i) {
        if (descriptor->comp[i].depth < 5) {
            return true;
        }
    }
    return false;
}

bool IsGray(const AVPixFmtDescriptor* descriptor) {
    return descriptor->nb_components <= 2 && (descriptor->flags & AV_PIX_FMT_FLAG_PAL) == 0;
}

// Converts between BGR0 and a picture format with the given matrix and YUV range, from
// width x height to toWidth x toHeight.
ScalerPtr MakeScaler(int width, int height, AVPixelFormat from, int toWidth, int toHeight,
                     AVPixelFormat to, int matrix, bool fullRange, bool toYuv) {
    ScalerPtr scaler(sws_getContext(width, height, from, toWidth, toHeight, to, SWS_BILINEAR,
                                    nullptr, nullptr, nullptr));
    if (!scaler) {
        return nullptr;
    }
    const int* coefficients = sws_getCoefficients(matrix);
    // RGB is full range; the YUV side is full only for the "J" formats and their kin.
    sws_setColorspaceDetails(scaler.get(), coefficients, toYuv ? 1 : (fullRange ? 1 : 0),
                             coefficients, toYuv ? (fullRange ? 1 : 0) : 1, 0, 1 << 16, 1 << 16);
    return scaler;
}

// Paints every picture in one flat colour: its index's palette colour, or the coarse colour.
// A flat picture's rows repeat with the period of the chroma subsampling and of any dither
// pattern (8 rows): a strip of kStripRows is converted once per picture and copied down it,
// which keeps large pictures cheap to make.
class FlatPainter {
  public:
    FlatPainter(int width, int height, const MadeMedia& made)
        : descriptor_(av_pix_fmt_desc_get(made.pixelFormat)),
          coarse_(made.coarse),
          gray_(made.gray) {
        const int stripRows = std::min(height, kStripRows);
        flat_.reset(av_frame_alloc());
        strip_.reset(av_frame_alloc());
        if (!flat_ || !strip_) {
            return;
        }
        flat_->width = strip_->width = width;
        flat_->height = strip_->height = stripRows;
        flat_->format = AV_PIX_FMT_BGR0;
        strip_->format = made.pixelFormat;
        if (av_frame_get_buffer(flat_.get(), 0) < 0 || av_frame_get_buffer(strip_.get(), 0) < 0) {
            return;
        }
        scaler_ = MakeScaler(width, stripRows, AV_PIX_FMT_BGR0, width, stripRows, made.pixelFormat,
                             made.matrix, made.fullRange, true);
    }

    bool ready() const { return static_cast<bool>(scaler_); }
    // False once a picture could not be painted (the file then shows the wrong pictures).
    bool painted() const { return painted_; }

    // Fills `picture` (a writable frame of the made format and size) with picture index's colour.
    void Paint(AVFrame* picture, int index) {
        const Rgb colour = coarse_ ? kCoarseColour : PaletteColour(index, gray_);
        const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(colour.b),
                                       static_cast<std::uint8_t>(colour.g),
                                       static_cast<std::uint8_t>(colour.r), 255};
        for (int y = 0; y < flat_->height; ++y) {
            std::uint8_t* row =
                flat_->data[0] + static_cast<std::ptrdiff_t>(y) * flat_->linesize[0];
            for (int x = 0; x < flat_->width; ++x) {
                std::memcpy(row + 4 * x, pixel, 4);
            }
        }
        if (sws_scale(scaler_.get(), flat_->data, flat_->linesize, 0, flat_->height, strip_->data,
                      strip_->linesize) <= 0) {
            painted_ = false;
            return;
        }
        // Each plane's rows, the strip's repeated down the picture.
        const int planes = av_pix_fmt_count_planes(static_cast<AVPixelFormat>(picture->format));
        for (int plane = 0; plane < planes; ++plane) {
            const bool chroma = (plane == 1 || plane == 2) &&
                                (descriptor_->flags & AV_PIX_FMT_FLAG_RGB) == 0 &&
                                descriptor_->nb_components >= 3;
            const int shift = chroma ? descriptor_->log2_chroma_h : 0;
            const int rows = AV_CEIL_RSHIFT(picture->height, shift);
            const int stripRows = AV_CEIL_RSHIFT(strip_->height, shift);
            const std::size_t bytes = static_cast<std::size_t>(
                std::min(picture->linesize[plane], strip_->linesize[plane]));
            for (int y = 0; y < rows; ++y) {
                std::memcpy(picture->data[plane] +
                                static_cast<std::ptrdiff_t>(y) * picture->linesize[plane],
                            strip_->data[plane] + static_cast<std::ptrdiff_t>(y % stripRows) *
                                                      strip_->linesize[plane],
                            bytes);
            }
        }
        if ((descriptor_->flags & AV_PIX_FMT_FLAG_PAL) != 0 && picture->data[1] != nullptr &&
            strip_->data[1] != nullptr) {
            std::memcpy(picture->data[1], strip_->data[1], 256 * 4);
        }
    }

  private:
    const AVPixFmtDescriptor* descriptor_;
    bool coarse_;
    bool gray_;
    FramePtr flat_;   // one strip in BGR0
    FramePtr strip_;  // the same strip in the made format
    ScalerPtr scaler_;
    bool painted_ = true;
};

// Each encoder's settings for small, faithful, quickly made files.
EncoderOptions VideoOptions(const VideoEncoder& choice) {
    EncoderOptions options = {{"strict", "experimental"}};
    if (choice.qscale) {
        options.merge(testmedia::FixedQuantiser(2));
    }
    const std::string name = choice.name;
    if (name == "libx264" || name == "libx264rgb") {
        options["preset"] = "ultrafast";
        options["crf"] = "12";
        options["x264-params"] = "scenecut=0";
    } else if (name == "libx265") {
        options["preset"] = "ultrafast";
        options["crf"] = "12";
        options["x265-params"] = "log-level=none:scenecut=0";
    } else if (name == "libvpx" || name == "libvpx-vp9") {
        options["deadline"] = "realtime";
        options["cpu-used"] = "8";
        options["lag-in-frames"] = "0";
        options["qmin"] = "0";
        options["qmax"] = "8";
        options["b"] = "4000000";
    } else if (name == "mpeg2video" || name == "mpeg1video") {
        options["b"] = "0";
    }
    return options;
}

// Chooses the video encoder, the pixel format and how the pictures are coloured and tagged;
// false when the plan is not made with them.
bool PlanVideo(const VideoPlan& plan, MadeMedia* made, VideoTrack* track) {
    const VideoEncoder& choice = Pick(kVideoEncoders, plan.encoder);
    made->videoEncoder = choice.name;
    const AVCodec* encoder = avcodec_find_encoder_by_name(choice.name);
    if (encoder == nullptr || plan.width < 1 || plan.height < 1 || plan.frames < 1 ||
        static_cast<std::int64_t>(plan.width) * plan.height * plan.frames > kMaxPixelFrames) {
        return false;
    }
    if (encoder->pix_fmts != nullptr) {
        int count = 0;
        while (encoder->pix_fmts[count] != AV_PIX_FMT_NONE) {
            ++count;
        }
        made->pixelFormat = encoder->pix_fmts[plan.pixelFormat % std::max(count, 1)];
    } else {
        made->pixelFormat = Pick(kAnyFormats, plan.pixelFormat);
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(made->pixelFormat);
    if (descriptor == nullptr || (descriptor->flags & AV_PIX_FMT_FLAG_HWACCEL) != 0 ||
        !sws_isSupportedOutput(made->pixelFormat) || !sws_isSupportedInput(made->pixelFormat)) {
        return false;
    }
    // libx265 corrupts its own heap on grey pictures and on pictures of more than 8 bits
    // at some widths (gray10le 34x111, gray 40x32, yuv444p12le 40x40: glibc aborts in
    // x265_encoder_close, also outside this target); those are not made with it.
    if (std::string(choice.name) == "libx265" &&
        (IsGray(descriptor) || descriptor->comp[0].depth > 8)) {
        return false;
    }
#if defined(FUZZ_SESSION_CAPPED)
    // The capped target runs on glibc's allocator, which checks the heap on every free:
    // there x265_encoder_close also aborted on 8-bit pictures (yuvj422p 34x111) after
    // other inputs in the same process, never alone, before any session ran. HEVC files
    // are made by the sanitized target only.
    if (std::string(choice.name) == "libx265") {
        return false;
    }
#endif
    made->coarse = IsCoarse(descriptor);
    made->gray = !made->coarse && IsGray(descriptor);
    // Untagged pictures are read as BT.709 from 720 lines up and as BT.601 below; these are
    // tagged the same way, so a file that loses the tag still reads back right. Full-range
    // ("J") pictures are JPEG's, which is BT.601 whatever the size.
    // Grey is full range, as FFmpeg reads an untagged grey picture.
    made->fullRange = IsFullRangeFormat(made->pixelFormat) || made->gray;
    made->matrix = plan.height >= 720 && !made->fullRange ? SWS_CS_ITU709 : SWS_CS_ITU601;

    track->encoders = {choice.name};
    track->width = plan.width;
    track->height = plan.height;
    track->timeBase = av_inv_q(plan.rate);
    track->frameRate = plan.rate;
    track->times = testmedia::EvenTimes(plan.frames);
    track->sampleAspectRatio = plan.sar;
    track->clockwiseRotation = plan.rotation;
    track->keyframeInterval = plan.gop;
    track->bFrames = plan.bFrames;
    track->pixelFormat = made->pixelFormat;
    const bool yuv = (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0 && !made->gray &&
                     descriptor->nb_components >= 3;
    if (yuv) {
        track->matrix = made->matrix == SWS_CS_ITU709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        track->range = made->fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    if (made->gray) {
        track->range = AVCOL_RANGE_JPEG;  // so that codecs that tag it say full range
    }
    track->options = VideoOptions(choice);
    return true;
}

// Chooses the audio encoder's rate and channel layout; false when this FFmpeg lacks it.
bool PlanAudio(const AudioPlan& plan, const char* name, MadeMedia* made, AudioTrack* track) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(name);
    if (encoder == nullptr) {
        return false;
    }
    made->audioEncoder = name;
    track->encoder = name;
    if (encoder->supported_samplerates != nullptr) {
        int count = 0;
        while (encoder->supported_samplerates[count] != 0) {
            ++count;
        }
        track->sampleRate = encoder->supported_samplerates[plan.rate % std::max(count, 1)];
    } else {
        track->sampleRate = Pick(kAnyRates, plan.rate);
    }
    if (encoder->ch_layouts != nullptr) {
        int count = 0;
        while (encoder->ch_layouts[count].nb_channels != 0) {
            ++count;
        }
        const AVChannelLayout& layout = encoder->ch_layouts[plan.channels % std::max(count, 1)];
        char described[128];
        if (av_channel_layout_describe(&layout, described, sizeof described) < 0) {
            return false;
        }
        track->channels = layout.nb_channels;
        track->layout = described;
    } else {
        track->channels = 1 + plan.channels % 8;
    }
    track->frames = static_cast<std::int64_t>(plan.seconds * track->sampleRate);
    // Whole frames: AVI keeps FLAC's time in frames, and the encoder's closing packet after
    // a short last frame lands on the time of that frame, which the muxer refuses.
    track->wholeLastFrame = true;
    track->options = {{"strict", "experimental"}};
    const double rate = track->sampleRate;
    track->sample = [rate](std::int64_t index, int) {
        return 0.5 * testmedia::Sine(440.0, rate, index);
    };
    return true;
}

int NearestLevel(int value, const int* levels, int count, int tolerance) {
    for (int i = 0; i < count; ++i) {
        if (std::abs(value - levels[i]) <= tolerance) {
            return i;
        }
    }
    return -1;
}

std::int64_t TicksOf(std::int64_t timestamp, AVRational timeBase) {
    return av_rescale_q(timestamp, timeBase, kTicks);
}

// One decoded sample as -1 to 1.
double SampleAt(const AVFrame* frame, int index, int channel) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const int size = av_get_bytes_per_sample(format);
    const std::uint8_t* at =
        av_sample_fmt_is_planar(format) != 0
            ? frame->extended_data[channel] + static_cast<std::ptrdiff_t>(index) * size
            : frame->extended_data[0] +
                  (static_cast<std::ptrdiff_t>(index) * channels + channel) * size;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            return (at[0] - 128) / 128.0;
        case AV_SAMPLE_FMT_S16: {
            std::int16_t v;
            std::memcpy(&v, at, 2);
            return v / 32768.0;
        }
        case AV_SAMPLE_FMT_S32: {
            std::int32_t v;
            std::memcpy(&v, at, 4);
            return v / 2147483648.0;
        }
        case AV_SAMPLE_FMT_S64: {
            std::int64_t v;
            std::memcpy(&v, at, 8);
            return static_cast<double>(v) / 9.223372036854775808e18;
        }
        case AV_SAMPLE_FMT_FLT: {
            float v;
            std::memcpy(&v, at, 4);
            return v;
        }
        case AV_SAMPLE_FMT_DBL: {
            double v;
            std::memcpy(&v, at, 8);
            return v;
        }
        default:
            return 0.0;
    }
}

// Adds a piece of decoded audio, merging it into the last span when of the same kind and
// less than kGap after it.
void AddAudioPiece(std::vector<AudioSpan>* spans, AudioSpan piece) {
    constexpr std::int64_t kGap = kGapTicks;
    if (!spans->empty()) {
        AudioSpan& last = spans->back();
        if (last.loud == piece.loud && piece.start >= last.start && piece.start - last.end < kGap) {
            last.end = std::max(last.end, piece.end);
            return;
        }
    }
    spans->push_back(piece);
}

}  // namespace

std::string MadeMedia::Describe() const {
    const char* format = av_get_pix_fmt_name(pixelFormat);
    return muxer + " with " + videoEncoder + " (" + (format != nullptr ? format : "?") + ")" +
           (audioEncoder.empty() ? std::string() : " and " + audioEncoder);
}

int PaletteSize(bool gray) {
    return gray ? static_cast<int>(std::size(kGreyLevels))
                : static_cast<int>(std::size(kLevels) * std::size(kLevels) * std::size(kLevels));
}

Rgb PaletteColour(int index, bool gray) {
    const int i = index % PaletteSize(gray);
    if (gray) {
        const int v = kGreyLevels[i];
        return Rgb{v, v, v};
    }
    const int n = static_cast<int>(std::size(kLevels));
    return Rgb{kLevels[(i / (n * n)) % n], kLevels[(i / n) % n], kLevels[i % n]};
}

int IndexOf(const std::uint8_t* bgr, bool gray) {
    if (gray) {
        const int count = static_cast<int>(std::size(kGreyLevels));
        const int b = NearestLevel(bgr[0], kGreyLevels, count, kGreyTolerance);
        const int g = NearestLevel(bgr[1], kGreyLevels, count, kGreyTolerance);
        const int r = NearestLevel(bgr[2], kGreyLevels, count, kGreyTolerance);
        return b >= 0 && b == g && g == r ? b : -1;
    }
    const int n = static_cast<int>(std::size(kLevels));
    const int b = NearestLevel(bgr[0], kLevels, n, kLevelTolerance);
    const int g = NearestLevel(bgr[1], kLevels, n, kLevelTolerance);
    const int r = NearestLevel(bgr[2], kLevels, n, kLevelTolerance);
    if (b < 0 || g < 0 || r < 0) {
        return -1;
    }
    return (r * n + g) * n + b;
}

bool Make(const MediaPlan& plan, const std::string& path, MadeMedia* made) {
    made->muxer = Pick(kMuxers, plan.muxer);
    VideoTrack video;
    if (!PlanVideo(plan.video, made, &video)) {
        return false;
    }
    FlatPainter painter(plan.video.width, plan.video.height, *made);
    if (!painter.ready()) {
        return false;
    }
    video.paint = [&painter](AVFrame* picture, int index) { painter.Paint(picture, index); };
    const char* audioEncoder =
        plan.audio.encoder != 0 ? Pick(kAudioEncoders, plan.audio.encoder) : nullptr;
    AudioTrack audio;
    if (audioEncoder != nullptr && !PlanAudio(plan.audio, audioEncoder, made, &audio)) {
        return false;
    }
    testmedia::MediaFile file;
    file.muxer = made->muxer;
    file.video = &video;
    file.audio = audioEncoder != nullptr ? &audio : nullptr;
    file.clockStartUs = plan.clockStartUs;
    std::string refused;  // why FFmpeg does not take the combination: not the fuzzer's business
    return testmedia::WriteMediaFile(path, file, &refused) && painter.painted();
}

bool ReadReference(const std::string& path, const MadeMedia& made, Reference* reference,
                   std::string* why) {
    *reference = Reference{};
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) {
        *why = "does not open";
        return false;
    }
    InputPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        *why = "no stream information";
        return false;
    }
    const std::int64_t origin = input->start_time != AV_NOPTS_VALUE && input->start_time > 0
                                    ? av_rescale_q(input->start_time, AV_TIME_BASE_Q, kTicks)
                                    : 0;
    const int videoIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (videoIndex < 0) {
        *why = "no video stream";
        return false;
    }
    CodecPtr decoders[2];
    const int indices[2] = {videoIndex, audioIndex};
    for (int i = 0; i < 2; ++i) {
        if (indices[i] < 0) {
            continue;
        }
        const AVStream* stream = input->streams[indices[i]];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (decoder == nullptr) {
            *why = "no decoder";
            return false;
        }
        decoders[i].reset(avcodec_alloc_context3(decoder));
        if (!decoders[i] ||
            avcodec_parameters_to_context(decoders[i].get(), stream->codecpar) < 0) {
            *why = "no decoder context";
            return false;
        }
        decoders[i]->pkt_timebase = stream->time_base;
        decoders[i]->thread_count = 1;
        if (avcodec_open2(decoders[i].get(), decoder, nullptr) < 0) {
            *why = "decoder does not open";
            return false;
        }
    }
    const AVStream* videoStream = input->streams[videoIndex];
    AVRational rate = videoStream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = videoStream->r_frame_rate;
    }
    reference->frameTicks =
        rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), kTicks) : 0;

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    FramePtr bgr(av_frame_alloc());
    if (!packet || !frame || !bgr) {
        *why = "out of memory";
        return false;
    }
    ScalerPtr scaler;
    std::string failure;
    std::int64_t audioNext = AV_NOPTS_VALUE;  // where the next audio frame starts

    const auto takeFrames = [&](int which) {
        AVCodecContext* codec = decoders[which].get();
        const AVStream* stream = input->streams[indices[which]];
        while (avcodec_receive_frame(codec, frame.get()) >= 0) {
            std::int64_t timestamp = frame->best_effort_timestamp;
            if (timestamp == AV_NOPTS_VALUE) {
                timestamp = frame->pts;
            }
            if (which == 1) {
                // In 5 ms pieces: loud when some channel carries the tone (RMS above a
                // quarter of its 0.35).
                // Where a frame without a timestamp belongs is the reader's guess (after the
                // one before it? an encoder's priming before the first?): the file's sound
                // cannot then be placed for certain.
                const int rate = frame->sample_rate;
                if (timestamp == AV_NOPTS_VALUE) {
                    reference->audioPlaced = false;
                }
                if (rate > 0 && frame->nb_samples > 0) {
                    const std::int64_t start = timestamp != AV_NOPTS_VALUE
                                                   ? TicksOf(timestamp, stream->time_base) - origin
                                                   : (audioNext != AV_NOPTS_VALUE ? audioNext : 0);
                    // Nor when a frame's timestamp disagrees with the samples before it by more
                    // than rounding, short of a gap: frames that overlap (PCM at 5512 Hz in FLV
                    // is stamped 128 ms apart for 186 ms frames) or leave a few ms between
                    // them (Vorbis in AVI: 23 ms frames 29 ms apart). A reader may take such
                    // jumps for rounding and play on, so where the sound lies is its choice.
                    if (audioNext != AV_NOPTS_VALUE && timestamp != AV_NOPTS_VALUE) {
                        const std::int64_t rounding =
                            20'000 + av_rescale_q(1, stream->time_base, kTicks);
                        const std::int64_t jump = start - audioNext;
                        if (jump < -rounding || (jump > rounding && jump < kGapTicks)) {
                            reference->audioPlaced = false;
                        }
                    }
                    audioNext = start + av_rescale(frame->nb_samples, 10'000'000, rate);
                    const int piece = std::max(1, rate / 200);
                    for (int first = 0; first < frame->nb_samples; first += piece) {
                        const int count = std::min(piece, frame->nb_samples - first);
                        double loudest = 0.0;
                        for (int c = 0; c < frame->ch_layout.nb_channels; ++c) {
                            double energy = 0.0;
                            for (int i = first; i < first + count; ++i) {
                                const double v = SampleAt(frame.get(), i, c);
                                energy += v * v;
                            }
                            loudest = std::max(loudest, std::sqrt(energy / count));
                        }
                        AudioSpan span;
                        span.start = start + av_rescale(first, 10'000'000, rate);
                        span.end = start + av_rescale(first + count, 10'000'000, rate);
                        span.loud = count >= piece / 2 && loudest > 0.09;
                        AddAudioPiece(&reference->audio, span);
                    }
                }
                av_frame_unref(frame.get());
                continue;
            }
            if (timestamp == AV_NOPTS_VALUE) {
                failure = "a picture without a time";
                av_frame_unref(frame.get());
                continue;
            }
            ReferenceFrame shown;
            shown.time = TicksOf(timestamp, stream->time_base) - origin;
#if LIBAVUTIL_VERSION_MAJOR >= 58
            const std::int64_t duration = frame->duration;
#else
            const std::int64_t duration = frame->pkt_duration;
#endif
            shown.duration = duration > 0 ? TicksOf(duration, stream->time_base) : 0;
            if (reference->width == 0) {
                reference->width = frame->width;
                reference->height = frame->height;
                bgr->width = kProbeSide;
                bgr->height = kProbeSide;
                bgr->format = AV_PIX_FMT_BGR0;
                if (av_frame_get_buffer(bgr.get(), 0) < 0) {
                    failure = "out of memory";
                }
                const auto format = static_cast<AVPixelFormat>(frame->format);
                scaler = MakeScaler(frame->width, frame->height, format, kProbeSide, kProbeSide,
                                    AV_PIX_FMT_BGR0, media::SwsMatrixOf(frame.get()),
                                    frame->color_range == AVCOL_RANGE_JPEG ||
                                        IsFullRangeFormat(format) ||
                                        (made.gray && frame->color_range != AVCOL_RANGE_MPEG),
                                    false);
            }
            if (frame->width != reference->width || frame->height != reference->height || !scaler ||
                bgr->data[0] == nullptr) {
                failure = "pictures change size or cannot be converted";
            } else if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height,
                                 bgr->data, bgr->linesize) <= 0) {
                failure = "a picture that cannot be converted";
            } else {
                const std::uint8_t* centre =
                    bgr->data[0] +
                    static_cast<std::ptrdiff_t>((bgr->height - 1) / 2) * bgr->linesize[0] +
                    static_cast<std::ptrdiff_t>((bgr->width - 1) / 2) * 4;
                shown.index = made.coarse ? -1 : IndexOf(centre, made.gray);
                if (made.coarse && centre[0] == 0 && centre[1] == 0 && centre[2] == 0) {
                    failure = "a coarse picture reads back black";
                }
                if (!made.coarse && shown.index < 0) {
                    failure = "a picture's colour does not read back";
                }
            }
            reference->frames.push_back(shown);
            av_frame_unref(frame.get());
        }
    };

    bool draining = false;
    while (failure.empty()) {
        if (!draining) {
            if (av_read_frame(input.get(), packet.get()) < 0) {
                draining = true;
                for (int i = 0; i < 2; ++i) {
                    if (decoders[i]) {
                        avcodec_send_packet(decoders[i].get(), nullptr);
                        takeFrames(i);
                    }
                }
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (decoders[i] && packet->stream_index == indices[i]) {
                    avcodec_send_packet(decoders[i].get(), packet.get());
                    takeFrames(i);
                }
            }
            av_packet_unref(packet.get());
        }
    }
    if (!failure.empty()) {
        *why = failure;
        return false;
    }
    const std::vector<ReferenceFrame>& frames = reference->frames;
    if (frames.empty()) {
        *why = "no pictures";
        return false;
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i > 0 && frames[i].time <= frames[i - 1].time) {
            *why = "picture times do not increase";
            return false;
        }
        if (!made.coarse && frames[i].index != static_cast<int>(i) % PaletteSize(made.gray)) {
            *why = "pictures missing or out of order";
            return false;
        }
    }
    reference->hasAudio = !reference->audio.empty();
    return true;
}

}  // namespace mediamaker
