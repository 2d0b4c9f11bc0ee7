#include "TestMedia.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <tuple>

#include "media/FFmpegHolders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

namespace testmedia {
namespace {

// The readers' FFmpeg calls log every damaged file they are shown; the tests check results.
const bool kQuietFFmpeg = [] {
    av_log_set_level(AV_LOG_FATAL);
    return true;
}();

// Bumped whenever a file's content changes, so stale files from older builds are not used.
constexpr const char kMediaVersion[] = "v7";

using OutputPtr = media::OutputFilePtr;

struct Yuv {
    int y;
    int u;
    int v;
};

// BT.601, limited range: how an untagged small picture is read back.
Yuv FromRgb(int r, int g, int b) {
    const double rf = r / 255.0;
    const double gf = g / 255.0;
    const double bf = b / 255.0;
    return Yuv{static_cast<int>(std::lround(16 + 65.481 * rf + 128.553 * gf + 24.966 * bf)),
               static_cast<int>(std::lround(128 - 37.797 * rf - 74.203 * gf + 112.0 * bf)),
               static_cast<int>(std::lround(128 + 112.0 * rf - 93.786 * gf - 18.214 * bf))};
}

// Paints a YUV 4:2:0 picture pixel by pixel (chroma from the top-left pixel of each 2x2).
void Paint(AVFrame* frame, const std::function<Yuv(int x, int y)>& colourAt) {
    for (int y = 0; y < frame->height; ++y) {
        for (int x = 0; x < frame->width; ++x) {
            const Yuv c = colourAt(x, y);
            frame->data[0][y * frame->linesize[0] + x] = static_cast<std::uint8_t>(c.y);
            if (x % 2 == 0 && y % 2 == 0) {
                frame->data[1][(y / 2) * frame->linesize[1] + x / 2] =
                    static_cast<std::uint8_t>(c.u);
                frame->data[2][(y / 2) * frame->linesize[2] + x / 2] =
                    static_cast<std::uint8_t>(c.v);
            }
        }
    }
}

// Eight bars across the top half, white for a set bit of the index (most significant
// first); the bottom half mid-grey, so that a coded frame is never all black.
void PaintBarCode(AVFrame* frame, int index) {
    const int width = frame->width;
    const int height = frame->height;
    Paint(frame, [&](int x, int y) {
        if (y >= height / 2) {
            return Yuv{128, 128, 128};
        }
        const int bit = 7 - x * 8 / width;
        return ((index >> bit) & 1) != 0 ? Yuv{235, 128, 128} : Yuv{16, 128, 128};
    });
}

void PaintQuadrants(AVFrame* frame) {
    const Yuv yellow = FromRgb(255, 255, 0);
    const Yuv red = FromRgb(255, 0, 0);
    const Yuv green = FromRgb(0, 255, 0);
    const Yuv blue = FromRgb(0, 0, 255);
    const Yuv white = FromRgb(255, 255, 255);
    const int width = frame->width;
    const int height = frame->height;
    Paint(frame, [&](int x, int y) {
        if (x < kBorder || y < kBorder || x >= width - kBorder || y >= height - kBorder) {
            return yellow;
        }
        const bool right = x >= width / 2;
        if (y < height / 2) {
            return right ? green : red;
        }
        return right ? white : blue;
    });
}

struct VideoTrack {
    std::vector<const char*> codecs;  // the first one FFmpeg has
    int width = kSmallWidth;
    int height = kSmallHeight;
    AVRational timeBase = {1, 25};
    std::vector<std::int64_t> times;      // of each frame, in timeBase
    std::vector<std::int64_t> durations;  // of each frame, in timeBase
    AVRational sampleAspectRatio = {1, 1};
    int clockwiseRotation = 0;
    int keyframeInterval = 12;
    int bFrames = 0;
    bool coverArt = false;  // one picture shown with the audio, as an attached picture
    AVPixelFormat pixelFormat = AV_PIX_FMT_YUV420P;  // painted in (a YUV format)
    // The encoder's format, when it takes no YUV (PNG, BMP): the painted picture is converted.
    AVPixelFormat encodeFormat = AV_PIX_FMT_NONE;
    std::function<void(AVFrame*, int index)> paint;
};

struct AudioTrack {
    const char* codec = "pcm_s16le";
    int sampleRate = 44100;
    int channels = 2;
    std::int64_t frames = 0;
    std::function<double(std::int64_t index, int channel)> sample;  // -1 to 1
};

std::vector<std::int64_t> EvenTimes(int count) {
    std::vector<std::int64_t> times;
    for (int i = 0; i < count; ++i) {
        times.push_back(i);
    }
    return times;
}

class Writer {
  public:
    // Writes `path` in the muxer `format`; fails the running test and returns false on error.
    bool Write(const std::string& path, const char* format, const VideoTrack* video,
               const AudioTrack* audio, std::int64_t clockStartUs = 0) {
        AVFormatContext* created = nullptr;
        if (avformat_alloc_output_context2(&created, nullptr, format, path.c_str()) < 0) {
            return Fail("no muxer", format);
        }
        output_.reset(created);
        output_->output_ts_offset = clockStartUs;
        if ((video != nullptr && !AddVideo(*video)) || (audio != nullptr && !AddAudio(*audio))) {
            return false;
        }
        if (avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
            avformat_write_header(output_.get(), nullptr) < 0) {
            return Fail("cannot start", path.c_str());
        }
        packet_.reset(av_packet_alloc());
        // Audio and video frames go in by time, as a recorder would hand them over.
        std::size_t nextPicture = 0;
        std::int64_t nextSample = 0;
        for (;;) {
            const bool picturesLeft = video != nullptr && nextPicture < video->times.size();
            const bool samplesLeft = audio != nullptr && nextSample < audio->frames;
            if (!picturesLeft && !samplesLeft) {
                break;
            }
            bool pictureFirst = picturesLeft;
            if (picturesLeft && samplesLeft) {
                pictureFirst = av_compare_ts(video->times[nextPicture], video->timeBase, nextSample,
                                             AVRational{1, audio->sampleRate}) <= 0;
            }
            if (pictureFirst) {
                if (!EncodePicture(*video, nextPicture++)) {
                    return false;
                }
            } else if (!EncodeSamples(*audio, &nextSample)) {
                return false;
            }
        }
        if ((videoCodec_ && !Send(videoCodec_.get(), videoStream_, nullptr)) ||
            (audioCodec_ && !Send(audioCodec_.get(), audioStream_, nullptr))) {
            return false;
        }
        if (av_write_trailer(output_.get()) < 0) {
            return Fail("cannot finish", path.c_str());
        }
        return true;
    }

  private:
    bool Fail(const char* what, const char* detail) {
        ADD_FAILURE() << "writing test media: " << what << " " << detail;
        return false;
    }

    bool AddVideo(const VideoTrack& track) {
        const AVCodec* encoder = nullptr;
        for (const char* name : track.codecs) {
            encoder = avcodec_find_encoder_by_name(name);
            if (encoder != nullptr) {
                break;
            }
        }
        if (encoder == nullptr) {
            return Fail("no video encoder among", track.codecs.front());
        }
        videoCodec_.reset(avcodec_alloc_context3(encoder));
        AVCodecContext* codec = videoCodec_.get();
        codec->width = track.width;
        codec->height = track.height;
        codec->pix_fmt =
            track.encodeFormat != AV_PIX_FMT_NONE ? track.encodeFormat : track.pixelFormat;
        codec->time_base = track.timeBase;
        codec->sample_aspect_ratio = track.sampleAspectRatio;
        codec->gop_size = track.keyframeInterval;
        codec->max_b_frames = track.bFrames;
        codec->thread_count = 1;
        if (std::string(encoder->name) == "libx264") {
            av_opt_set(codec->priv_data, "preset", "veryfast", 0);
            av_opt_set(codec->priv_data, "crf", "16", 0);
            av_opt_set(codec->priv_data, "x264-params", "scenecut=0:b-adapt=0", 0);
        } else if (std::string(encoder->name) == "mpeg4") {
            codec->flags |= AV_CODEC_FLAG_QSCALE;
            codec->global_quality = FF_QP2LAMBDA * 2;
        }
        if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (avcodec_open2(codec, encoder, nullptr) < 0) {
            return Fail("cannot open encoder", encoder->name);
        }
        videoStream_ = avformat_new_stream(output_.get(), nullptr);
        videoStream_->time_base = track.timeBase;
        videoStream_->sample_aspect_ratio = track.sampleAspectRatio;
        if (track.coverArt) {
            videoStream_->disposition = AV_DISPOSITION_ATTACHED_PIC;
        }
        avcodec_parameters_from_context(videoStream_->codecpar, codec);
        if (track.clockwiseRotation != 0) {
            auto* matrix = reinterpret_cast<std::int32_t*>(av_stream_new_side_data(
                videoStream_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
            if (matrix == nullptr) {
                return Fail("no display matrix", "");
            }
            // The matrix turns the picture clockwise to show it (FFmpeg reports -90 degrees
            // for a quarter turn clockwise, as for a phone held upright).
            av_display_rotation_set(matrix, track.clockwiseRotation);
        }
        for (std::size_t i = 0; i < track.times.size(); ++i) {
            durations_[track.times[i]] = track.durations.empty() ? 1 : track.durations[i];
        }
        return true;
    }

    bool AddAudio(const AudioTrack& track) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(track.codec);
        if (encoder == nullptr) {
            return Fail("no audio encoder", track.codec);
        }
        audioCodec_.reset(avcodec_alloc_context3(encoder));
        AVCodecContext* codec = audioCodec_.get();
        codec->sample_rate = track.sampleRate;
        codec->sample_fmt = encoder->sample_fmts[0];
        av_channel_layout_default(&codec->ch_layout, track.channels);
        codec->bit_rate = 128000;
        codec->time_base = AVRational{1, track.sampleRate};
        if ((output_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (avcodec_open2(codec, encoder, nullptr) < 0) {
            return Fail("cannot open encoder", track.codec);
        }
        audioStream_ = avformat_new_stream(output_.get(), nullptr);
        audioStream_->time_base = codec->time_base;
        avcodec_parameters_from_context(audioStream_->codecpar, codec);
        return true;
    }

    bool EncodePicture(const VideoTrack& track, std::size_t index) {
        media::FramePtr frame(av_frame_alloc());
        frame->width = track.width;
        frame->height = track.height;
        frame->format = track.pixelFormat;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return Fail("no picture", "");
        }
        track.paint(frame.get(), static_cast<int>(index));
        if (track.encodeFormat != AV_PIX_FMT_NONE) {
            frame = Converted(frame.get(), track.encodeFormat);
            if (!frame) {
                return Fail("cannot convert a picture for", track.codecs.front());
            }
        }
        frame->pts = track.times[index];
        frame->sample_aspect_ratio = track.sampleAspectRatio;
        return Send(videoCodec_.get(), videoStream_, frame.get());
    }

    static media::FramePtr Converted(const AVFrame* from, AVPixelFormat format) {
        media::FramePtr to(av_frame_alloc());
        to->width = from->width;
        to->height = from->height;
        to->format = format;
        media::ScalerPtr scaler(
            sws_getContext(from->width, from->height, static_cast<AVPixelFormat>(from->format),
                           to->width, to->height, format, SWS_POINT, nullptr, nullptr, nullptr));
        if (!scaler || av_frame_get_buffer(to.get(), 0) < 0 ||
            sws_scale(scaler.get(), from->data, from->linesize, 0, from->height, to->data,
                      to->linesize) < 0) {
            return nullptr;
        }
        return to;
    }

    bool EncodeSamples(const AudioTrack& track, std::int64_t* next) {
        AVCodecContext* codec = audioCodec_.get();
        const int size = codec->frame_size > 0 ? codec->frame_size : 1024;
        const int count = static_cast<int>(std::min<std::int64_t>(size, track.frames - *next));
        media::FramePtr frame(av_frame_alloc());
        frame->nb_samples = count;
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return Fail("no samples", "");
        }
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < track.channels; ++c) {
                const double value = track.sample(*next + i, c);
                if (codec->sample_fmt == AV_SAMPLE_FMT_FLTP) {
                    reinterpret_cast<float*>(frame->data[c])[i] = static_cast<float>(value);
                } else if (codec->sample_fmt == AV_SAMPLE_FMT_S16) {
                    reinterpret_cast<std::int16_t*>(frame->data[0])[i * track.channels + c] =
                        static_cast<std::int16_t>(std::lround(value * 32767.0));
                } else {
                    return Fail("unexpected sample format for", track.codec);
                }
            }
        }
        frame->pts = *next;
        *next += count;
        return Send(codec, audioStream_, frame.get());
    }

    // Encodes `frame` (null: drains the encoder) and writes out what comes of it.
    bool Send(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        if (avcodec_send_frame(codec, frame) < 0) {
            return Fail("cannot encode", codec->codec->name);
        }
        for (;;) {
            const int received = avcodec_receive_packet(codec, packet_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return true;
            }
            if (received < 0) {
                return Fail("encoder failed", codec->codec->name);
            }
            if (codec == videoCodec_.get()) {
                const auto duration = durations_.find(packet_->pts);
                if (duration != durations_.end()) {
                    packet_->duration = duration->second;
                }
            }
            av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            if (av_interleaved_write_frame(output_.get(), packet_.get()) < 0) {
                return Fail("cannot write packet", "");
            }
        }
    }

    OutputPtr output_;
    media::CodecContextPtr videoCodec_;
    media::CodecContextPtr audioCodec_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    media::PacketPtr packet_;
    std::map<std::int64_t, std::int64_t> durations_;  // by frame time, in the codec time base
};

// Writes a file under a temporary name and gives it its name once complete.
void MakeOnce(const std::string& path, const std::function<bool(const std::string&)>& make) {
    if (std::filesystem::exists(path)) {
        return;
    }
    const std::string partial = path + ".partial-" + std::to_string(getpid());
    if (make(partial)) {
        std::filesystem::rename(partial, path);
    } else {
        std::filesystem::remove(partial);
    }
}

bool CopyFirstHalf(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::ofstream out(to, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
    return !bytes.empty() && static_cast<bool>(out);
}

bool CopyWhole(const std::string& from, const std::string& to) {
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      error);
}

bool AppendFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::app);
    out << in.rdbuf();
    return static_cast<bool>(in) && static_cast<bool>(out);
}

// A copy of a JPEG file with an EXIF segment, right after its start marker, that holds
// nothing but the picture's orientation (1 to 8; 6: turn 90 degrees clockwise to show it).
bool CopyWithExifOrientation(const std::string& from, const std::string& to, int orientation) {
    std::ifstream in(from, std::ios::binary);
    const std::vector<char> jpeg((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (jpeg.size() < 2) {
        return false;
    }
    // "Exif", then a little-endian TIFF header and one directory of one entry: tag 0x0112
    // (orientation), type 3 (16-bit), count 1, the value; no next directory.
    const std::vector<unsigned char> exif = {
        'E', 'x',  'i',  'f', 0,
        0,   'I',  'I',  42,  0,
        8,   0,    0,    0,   1,
        0,   0x12, 0x01, 3,   0,
        1,   0,    0,    0,   static_cast<unsigned char>(orientation),
        0,   0,    0,    0,   0,
        0,   0};
    const std::size_t length = exif.size() + 2;
    std::ofstream out(to, std::ios::binary);
    out.write(jpeg.data(), 2);  // the start of image marker
    const unsigned char marker[] = {0xFF, 0xE1, static_cast<unsigned char>(length >> 8),
                                    static_cast<unsigned char>(length & 0xFF)};
    out.write(reinterpret_cast<const char*>(marker), sizeof marker);
    out.write(reinterpret_cast<const char*>(exif.data()),
              static_cast<std::streamsize>(exif.size()));
    out.write(jpeg.data() + 2, static_cast<std::streamsize>(jpeg.size() - 2));
    return static_cast<bool>(out);
}

bool WriteText(const std::string& to, const char* text) {
    std::ofstream out(to);
    out << text;
    return static_cast<bool>(out);
}

bool WriteRandomBytes(const std::string& to) {
    std::mt19937 generator(20240601);
    std::vector<char> bytes(96 * 1024);
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    std::ofstream out(to, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

double Sine(double hz, double rate, std::int64_t index) {
    return std::sin(2.0 * M_PI * hz * static_cast<double>(index) / rate);
}

Files Generate() {
    Files files;
    files.directory = std::string(TEST_MEDIA_DIR) + "/" + kMediaVersion;
    std::filesystem::create_directories(files.directory);
    const std::string dir = files.directory + "/";
    files.av = dir + "av.mp4";
    files.videoOnly = dir + "video_only.mkv";
    files.vfr = dir + "vfr.mkv";
    files.ramp = dir + "ramp.wav";
    files.tone22k = dir + "tone22k.wav";
    files.pattern = dir + "pattern.mkv";
    files.sar = dir + "sar.mp4";
    files.rotated = dir + "rotated.mp4";
    files.rotated180 = dir + "rotated180.mp4";
    files.rotated270 = dir + "rotated270.mp4";
    files.truncatedMkv = dir + "truncated.mkv";
    files.truncatedMp4 = dir + "truncated.mp4";
    files.transportStream = dir + "offset.ts";
    files.mpeg2TransportStream = dir + "mpeg2.ts";
    files.h264TransportStream = dir + "h264.ts";
    files.opusWebm = dir + "tone.webm";
    files.aacMkv = dir + "tone.mkv";
    files.flacMkv = dir + "tone-flac.mkv";
    files.vorbisMkv = dir + "tone-vorbis.mkv";
    files.vorbisWebm = dir + "tone-vorbis.webm";
    files.cover = dir + "cover.mp4";
    files.gapped = dir + "gapped.mkv";
    files.lateShortVideo = dir + "late-short.mkv";
    files.paletted = dir + "paletted.avi";
    files.mpeg4Avi = dir + "mpeg4.avi";
    files.stillPng = dir + "still.png";
    files.stillJpeg = dir + "still.jpg";
    files.stillBmp = dir + "still.bmp";
    files.stillJpegTurned = dir + "still-exif6.jpg";
    files.stillJpegWithTrailer = dir + "still-trailer.jpg";
    files.pngSequence = dir + "sequence.png";
    files.withColon = dir + "with:colon.mp4";
    files.playlist = dir + "list.m3u8";
    files.concatList = dir + "list.ffconcat";
    files.segment = dir + "segment.mp4";
    files.random = dir + "random.mp4";
    files.missing = dir + "missing.mp4";

    const auto barCode = [](AVFrame* frame, int index) { PaintBarCode(frame, index); };
    const auto quadrants = [](AVFrame* frame, int) { PaintQuadrants(frame); };

    MakeOnce(files.av, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"libx264", "mpeg4"};
        video.width = kAvWidth;
        video.height = kAvHeight;
        video.times = EvenTimes(kAvFrames);
        video.keyframeInterval = kAvKeyframeInterval;
        video.bFrames = 2;
        video.paint = barCode;
        AudioTrack audio;
        audio.codec = "aac";
        audio.sampleRate = kAvSampleRate;
        audio.frames = 3 * kAvSampleRate;
        audio.sample = [](std::int64_t i, int) {
            return kAvToneAmplitude * Sine(kAvToneHz, kAvSampleRate, i);
        };
        return Writer().Write(path, "mp4", &video, &audio);
    });
    MakeOnce(files.videoOnly, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"mpeg4"};
        video.times = EvenTimes(kVideoOnlyFrames);
        video.paint = barCode;
        return Writer().Write(path, "matroska", &video, nullptr);
    });
    MakeOnce(files.vfr, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"ffv1"};
        video.timeBase = AVRational{1, 1000};
        const std::vector<int>& times = VfrTimesMs();
        for (std::size_t i = 0; i < times.size(); ++i) {
            video.times.push_back(times[i]);
            video.durations.push_back(i + 1 < times.size() ? times[i + 1] - times[i]
                                                           : kVfrLastDurationMs);
        }
        video.keyframeInterval = 1;
        video.paint = barCode;
        return Writer().Write(path, "matroska", &video, nullptr);
    });
    // One picture each, written as the image file alone (the image pipe muxer).
    const auto still = [&](const char* codec, AVPixelFormat format, AVPixelFormat encodeFormat) {
        return [=](const std::string& path) {
            VideoTrack video;
            video.codecs = {codec};
            video.times = {0};
            video.pixelFormat = format;
            video.encodeFormat = encodeFormat;
            video.paint = quadrants;
            return Writer().Write(path, "image2pipe", &video, nullptr);
        };
    };
    MakeOnce(files.stillPng, still("png", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24));
    MakeOnce(files.stillJpeg, still("mjpeg", AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_NONE));
    MakeOnce(files.stillBmp, still("bmp", AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24));
    MakeOnce(files.stillJpegTurned, [&](const std::string& path) {
        VideoTrack photo;
        photo.codecs = {"mjpeg"};
        photo.width = kPhotoWidth;
        photo.height = kPhotoHeight;
        photo.times = {0};
        photo.pixelFormat = AV_PIX_FMT_YUVJ420P;
        photo.paint = quadrants;
        const std::string plain = path + ".plain";
        const bool made = Writer().Write(plain, "image2pipe", &photo, nullptr) &&
                          CopyWithExifOrientation(plain, path, 6);
        std::filesystem::remove(plain);
        return made;
    });
    MakeOnce(files.stillJpegWithTrailer, [&](const std::string& path) {
        VideoTrack trailer;
        trailer.codecs = {"mjpeg"};
        trailer.times = {0};
        trailer.pixelFormat = AV_PIX_FMT_YUVJ420P;
        trailer.paint = barCode;
        const std::string second = path + ".second";
        const bool made = Writer().Write(second, "image2pipe", &trailer, nullptr) &&
                          CopyWhole(files.stillJpeg, path) && AppendFile(second, path);
        std::filesystem::remove(second);
        return made;
    });
    MakeOnce(files.pngSequence, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"png"};
        video.times = EvenTimes(kPngSequenceFrames);
        video.encodeFormat = AV_PIX_FMT_RGB24;
        video.paint = barCode;
        return Writer().Write(path, "image2pipe", &video, nullptr);
    });
    MakeOnce(files.gapped, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"mpeg4"};
        video.timeBase = AVRational{1, 1000};
        for (int i = 0; i < 21; ++i) {
            video.times.push_back(i < 9 ? 40 * i : kGapEndMs + 40 * (i - 9));
            video.durations.push_back(40);
        }
        video.keyframeInterval = 50;
        video.bFrames = 2;
        video.paint = barCode;
        return Writer().Write(path, "matroska", &video, nullptr);
    });
    MakeOnce(files.transportStream, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"mpeg4"};
        video.times = EvenTimes(kVideoOnlyFrames);
        video.paint = barCode;
        AudioTrack audio;
        audio.codec = "aac";
        audio.frames = 2 * kAvSampleRate;
        audio.sample = [](std::int64_t i, int) {
            return kAvToneAmplitude * Sine(kAvToneHz, kAvSampleRate, i);
        };
        return Writer().Write(path, "mpegts", &video, &audio, kTransportStreamStartUs);
    });
    // Bar-coded frames at 25 fps with B-frames, a keyframe every `interval`.
    const auto withBFrames = [&](std::vector<const char*> codecs, int frames, int interval,
                                 const char* format, std::int64_t clockStartUs) {
        return [=](const std::string& path) {
            VideoTrack video;
            video.codecs = codecs;
            video.times = EvenTimes(frames);
            video.keyframeInterval = interval;
            video.bFrames = 2;
            video.paint = barCode;
            return Writer().Write(path, format, &video, nullptr, clockStartUs);
        };
    };
    MakeOnce(files.mpeg2TransportStream,
             withBFrames({"mpeg2video"}, kVideoOnlyFrames, kMpeg2KeyframeInterval, "mpegts",
                         kTransportStreamStartUs));
    MakeOnce(files.h264TransportStream,
             withBFrames({"libx264", "mpeg4"}, kAvFrames, kAvKeyframeInterval, "mpegts",
                         kTransportStreamStartUs));
    MakeOnce(files.mpeg4Avi, withBFrames({"mpeg4"}, kAvFrames, kAvKeyframeInterval, "avi", 0));
    MakeOnce(files.lateShortVideo, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"libx264", "mpeg4"};
        video.timeBase = AVRational{1, 1000};
        for (int i = 0; i < 3; ++i) {
            video.times.push_back(kLateVideoStartMs + 40 * i);
            video.durations.push_back(40);
        }
        video.bFrames = 2;
        video.paint = barCode;
        AudioTrack audio;
        audio.frames = 44100;
        audio.sample = [](std::int64_t i, int) { return 0.5 * Sine(kAvToneHz, 44100, i); };
        return Writer().Write(path, "matroska", &video, &audio);
    });
    MakeOnce(files.paletted, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"rawvideo"};
        video.times = EvenTimes(50);
        video.pixelFormat = AV_PIX_FMT_PAL8;
        video.paint = [](AVFrame* frame, int) {
            for (int y = 0; y < frame->height; ++y) {
                std::memset(frame->data[0] + y * frame->linesize[0], 1,
                            static_cast<std::size_t>(frame->width));
            }
            std::memset(frame->data[1], 0, 1024);
            const std::uint32_t red = 0xFFFF0000;  // A R G B, in native order
            std::memcpy(frame->data[1] + 4, &red, sizeof red);
        };
        return Writer().Write(path, "avi", &video, nullptr);
    });
    const auto tone = [](const char* codec, int rate) {
        AudioTrack audio;
        audio.codec = codec;
        audio.sampleRate = rate;
        audio.frames = 3 * rate;
        audio.sample = [rate](std::int64_t i, int) {
            return kToneAmplitude / 32767.0 * Sine(kAvToneHz, rate, i);
        };
        return audio;
    };
    MakeOnce(files.opusWebm, [&](const std::string& path) {
        const AudioTrack audio = tone("libopus", 48000);
        return Writer().Write(path, "webm", nullptr, &audio);
    });
    MakeOnce(files.aacMkv, [&](const std::string& path) {
        const AudioTrack audio = tone("aac", 44100);
        return Writer().Write(path, "matroska", nullptr, &audio);
    });
    const std::tuple<const std::string*, const char*, int, const char*> tones[] = {
        {&files.flacMkv, "flac", 96000, "matroska"},
        {&files.vorbisMkv, "libvorbis", 44100, "matroska"},
        {&files.vorbisWebm, "libvorbis", 48000, "webm"}};
    for (const auto& [file, codec, rate, format] : tones) {
        MakeOnce(*file, [&](const std::string& path) {
            const AudioTrack audio = tone(codec, rate);
            return Writer().Write(path, format, nullptr, &audio);
        });
    }
    MakeOnce(files.cover, [&](const std::string& path) {
        VideoTrack cover;
        cover.codecs = {"mjpeg"};
        cover.pixelFormat = AV_PIX_FMT_YUVJ420P;
        cover.coverArt = true;
        cover.times = EvenTimes(1);
        cover.paint = quadrants;
        AudioTrack audio;
        audio.codec = "aac";
        audio.frames = kAvSampleRate;
        audio.sample = [](std::int64_t i, int) { return 0.5 * Sine(kAvToneHz, kAvSampleRate, i); };
        return Writer().Write(path, "mp4", &cover, &audio);
    });
    MakeOnce(files.ramp, [&](const std::string& path) {
        AudioTrack audio;
        audio.sampleRate = kRampRate;
        audio.frames = kRampFrames;
        audio.sample = [](std::int64_t i, int channel) {
            const double left = RampLeft(i) / 32767.0;
            return channel == 0 ? left : -left;
        };
        return Writer().Write(path, "wav", nullptr, &audio);
    });
    MakeOnce(files.tone22k, [&](const std::string& path) {
        AudioTrack audio;
        audio.sampleRate = kToneRate;
        audio.channels = 1;
        audio.frames = 2 * kToneRate;
        audio.sample = [](std::int64_t i, int) {
            return kToneAmplitude / 32767.0 * Sine(kToneHz, kToneRate, i);
        };
        return Writer().Write(path, "wav", nullptr, &audio);
    });
    MakeOnce(files.pattern, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"ffv1"};
        video.times = EvenTimes(10);
        video.paint = quadrants;
        return Writer().Write(path, "matroska", &video, nullptr);
    });
    MakeOnce(files.sar, [&](const std::string& path) {
        VideoTrack video;
        video.codecs = {"mpeg4"};
        video.times = EvenTimes(10);
        video.sampleAspectRatio = AVRational{2, 1};
        video.paint = quadrants;
        return Writer().Write(path, "mp4", &video, nullptr);
    });
    const std::pair<const std::string*, int> turns[] = {
        {&files.rotated, 90}, {&files.rotated180, 180}, {&files.rotated270, 270}};
    for (const auto& [file, degrees] : turns) {
        const int clockwise = degrees;
        MakeOnce(*file, [&](const std::string& path) {
            VideoTrack video;
            video.codecs = {"mpeg4"};
            video.times = EvenTimes(10);
            video.clockwiseRotation = clockwise;
            video.paint = quadrants;
            return Writer().Write(path, "mp4", &video, nullptr);
        });
    }
    MakeOnce(files.truncatedMkv,
             [&](const std::string& path) { return CopyFirstHalf(files.videoOnly, path); });
    MakeOnce(files.truncatedMp4,
             [&](const std::string& path) { return CopyFirstHalf(files.av, path); });
    MakeOnce(files.withColon, [&](const std::string& path) { return CopyWhole(files.av, path); });
    MakeOnce(files.segment, [&](const std::string& path) { return CopyWhole(files.av, path); });
    MakeOnce(files.playlist, [](const std::string& path) {
        return WriteText(path,
                         "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3.0,\nsegment.mp4\n"
                         "#EXT-X-ENDLIST\n");
    });
    MakeOnce(files.concatList, [](const std::string& path) {
        return WriteText(path, "ffconcat version 1.0\nfile segment.mp4\n");
    });
    MakeOnce(files.random, WriteRandomBytes);
    return files;
}

}  // namespace

const std::vector<int>& VfrTimesMs() {
    static const std::vector<int> times = {0, 40, 70, 200, 210, 500, 520, 540, 900, 1000};
    return times;
}

std::int16_t RampLeft(std::int64_t index) {
    return static_cast<std::int16_t>(index % 32768);
}

const Files& Media() {
    static const Files files = Generate();
    return files;
}

Pixel PixelAt(const std::vector<std::uint8_t>& frame, int width, int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 4;
    return Pixel{frame[at], frame[at + 1], frame[at + 2], frame[at + 3]};
}

testing::AssertionResult HasColour(const std::vector<std::uint8_t>& frame, int width, int x, int y,
                                   int r, int g, int b, int tolerance) {
    const Pixel p = PixelAt(frame, width, x, y);
    if (std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
        std::abs(p.b - b) <= tolerance && p.x == 0) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "pixel (" << x << ", " << y << ") is R " << p.r << " G " << p.g << " B " << p.b
           << " X " << p.x << ", expected R " << r << " G " << g << " B " << b << " X 0";
}

int FrameIndex(const std::vector<std::uint8_t>& frame, int width, int height) {
    const Pixel marker = PixelAt(frame, width, width / 2, height * 3 / 4);
    if (marker.g < 90 || marker.g > 170) {
        return -1;
    }
    int index = 0;
    for (int bar = 0; bar < 8; ++bar) {
        const Pixel p = PixelAt(frame, width, bar * width / 8 + width / 16, height / 4);
        index = index * 2 + (p.g > 128 ? 1 : 0);
    }
    return index;
}

bool IsAllZero(const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t byte : bytes) {
        if (byte != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace testmedia
