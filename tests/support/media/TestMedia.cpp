#include "tests/support/media/TestMedia.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <tuple>

#include "tests/support/media/MediaFileWriter.h"
#include "tests/support/media/TestPictures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

namespace testmedia {
namespace {

// The readers' FFmpeg calls log every damaged file they are shown; the tests check results.
const bool kQuietFFmpeg = [] {
    av_log_set_level(AV_LOG_FATAL);
    return true;
}();

// Bumped whenever a file's content changes, so stale files from older builds are not used.
constexpr const char kMediaVersion[] = "v8";

// H.264 at a quality that keeps the bar codes, with B-frames placed the same on every run;
// FFmpeg's MPEG-4 Visual at a fixed fine quantiser.
const EncoderOptions kX264 = {
    {"preset", "veryfast"}, {"crf", "16"}, {"x264-params", "scenecut=0:b-adapt=0"}};
const EncoderOptions kMpeg4 = FixedQuantiser(2);

// H.264 where FFmpeg has libx264, else MPEG-4 Visual.
void UseH264(VideoTrack* video) {
    video->encoders = {"libx264", "mpeg4"};
    video->options = avcodec_find_encoder_by_name("libx264") != nullptr ? kX264 : kMpeg4;
}

void UseMpeg4(VideoTrack* video) {
    video->encoders = {"mpeg4"};
    video->options = kMpeg4;
}

void UseMpeg2(VideoTrack* video) {
    video->encoders = {"mpeg2video"};
}

// Writes `file`; fails the running test and returns false when it cannot.
bool Write(const std::string& path, const char* muxer, const VideoTrack* video,
           const AudioTrack* audio, std::int64_t clockStartUs = 0) {
    std::string error;
    if (!WriteMediaFile(path, MediaFile{muxer, video, audio, clockStartUs}, &error)) {
        ADD_FAILURE() << "writing test media " << path << ": " << error;
        return false;
    }
    return true;
}

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
    const auto quadrants = [](AVFrame* frame, int) { PaintQuadrants(frame, kBorder); };

    MakeOnce(files.av, [&](const std::string& path) {
        VideoTrack video;
        UseH264(&video);
        video.width = kAvWidth;
        video.height = kAvHeight;
        video.times = EvenTimes(kAvFrames);
        video.keyframeInterval = kAvKeyframeInterval;
        video.bFrames = 2;
        video.paint = barCode;
        AudioTrack audio;
        audio.encoder = "aac";
        audio.sampleRate = kAvSampleRate;
        audio.frames = 3 * kAvSampleRate;
        audio.sample = [](std::int64_t i, int) {
            return kAvToneAmplitude * Sine(kAvToneHz, kAvSampleRate, i);
        };
        return Write(path, "mp4", &video, &audio);
    });
    MakeOnce(files.videoOnly, [&](const std::string& path) {
        VideoTrack video;
        UseMpeg4(&video);
        video.times = EvenTimes(kVideoOnlyFrames);
        video.paint = barCode;
        return Write(path, "matroska", &video, nullptr);
    });
    MakeOnce(files.vfr, [&](const std::string& path) {
        VideoTrack video;
        video.encoders = {"ffv1"};
        video.timeBase = AVRational{1, 1000};
        const std::vector<int>& times = VfrTimesMs();
        for (std::size_t i = 0; i < times.size(); ++i) {
            video.times.push_back(times[i]);
            video.durations.push_back(i + 1 < times.size() ? times[i + 1] - times[i]
                                                           : kVfrLastDurationMs);
        }
        video.keyframeInterval = 1;
        video.paint = barCode;
        return Write(path, "matroska", &video, nullptr);
    });
    // One picture each, written as the image file alone (the image pipe muxer).
    const auto still = [&](const char* codec, AVPixelFormat format, AVPixelFormat encodeFormat) {
        return [=](const std::string& path) {
            VideoTrack video;
            video.encoders = {codec};
            video.times = {0};
            video.pixelFormat = format;
            video.encodeFormat = encodeFormat;
            video.paint = quadrants;
            return Write(path, "image2pipe", &video, nullptr);
        };
    };
    MakeOnce(files.stillPng, still("png", AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24));
    MakeOnce(files.stillJpeg, still("mjpeg", AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_NONE));
    MakeOnce(files.stillBmp, still("bmp", AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24));
    MakeOnce(files.stillJpegTurned, [&](const std::string& path) {
        VideoTrack photo;
        photo.encoders = {"mjpeg"};
        photo.width = kPhotoWidth;
        photo.height = kPhotoHeight;
        photo.times = {0};
        photo.pixelFormat = AV_PIX_FMT_YUVJ420P;
        photo.paint = quadrants;
        const std::string plain = path + ".plain";
        const bool made =
            Write(plain, "image2pipe", &photo, nullptr) && CopyWithExifOrientation(plain, path, 6);
        std::filesystem::remove(plain);
        return made;
    });
    MakeOnce(files.stillJpegWithTrailer, [&](const std::string& path) {
        VideoTrack trailer;
        trailer.encoders = {"mjpeg"};
        trailer.times = {0};
        trailer.pixelFormat = AV_PIX_FMT_YUVJ420P;
        trailer.paint = barCode;
        const std::string second = path + ".second";
        const bool made = Write(second, "image2pipe", &trailer, nullptr) &&
                          CopyWhole(files.stillJpeg, path) && AppendFile(second, path);
        std::filesystem::remove(second);
        return made;
    });
    MakeOnce(files.pngSequence, [&](const std::string& path) {
        VideoTrack video;
        video.encoders = {"png"};
        video.times = EvenTimes(kPngSequenceFrames);
        video.encodeFormat = AV_PIX_FMT_RGB24;
        video.paint = barCode;
        return Write(path, "image2pipe", &video, nullptr);
    });
    MakeOnce(files.gapped, [&](const std::string& path) {
        VideoTrack video;
        UseMpeg4(&video);
        video.timeBase = AVRational{1, 1000};
        for (int i = 0; i < 21; ++i) {
            video.times.push_back(i < 9 ? 40 * i : kGapEndMs + 40 * (i - 9));
            video.durations.push_back(40);
        }
        video.keyframeInterval = 50;
        video.bFrames = 2;
        video.paint = barCode;
        return Write(path, "matroska", &video, nullptr);
    });
    MakeOnce(files.transportStream, [&](const std::string& path) {
        VideoTrack video;
        UseMpeg4(&video);
        video.times = EvenTimes(kVideoOnlyFrames);
        video.paint = barCode;
        AudioTrack audio;
        audio.encoder = "aac";
        audio.frames = 2 * kAvSampleRate;
        audio.sample = [](std::int64_t i, int) {
            return kAvToneAmplitude * Sine(kAvToneHz, kAvSampleRate, i);
        };
        return Write(path, "mpegts", &video, &audio, kTransportStreamStartUs);
    });
    // Bar-coded frames at 25 fps with B-frames, a keyframe every `interval`.
    const auto withBFrames = [&](void (*useEncoder)(VideoTrack*), int frames, int interval,
                                 const char* format, std::int64_t clockStartUs) {
        return [=](const std::string& path) {
            VideoTrack video;
            useEncoder(&video);
            video.times = EvenTimes(frames);
            video.keyframeInterval = interval;
            video.bFrames = 2;
            video.paint = barCode;
            return Write(path, format, &video, nullptr, clockStartUs);
        };
    };
    MakeOnce(files.mpeg2TransportStream,
             withBFrames(UseMpeg2, kVideoOnlyFrames, kMpeg2KeyframeInterval, "mpegts",
                         kTransportStreamStartUs));
    MakeOnce(files.h264TransportStream, withBFrames(UseH264, kAvFrames, kAvKeyframeInterval,
                                                    "mpegts", kTransportStreamStartUs));
    MakeOnce(files.mpeg4Avi, withBFrames(UseMpeg4, kAvFrames, kAvKeyframeInterval, "avi", 0));
    MakeOnce(files.lateShortVideo, [&](const std::string& path) {
        VideoTrack video;
        UseH264(&video);
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
        return Write(path, "matroska", &video, &audio);
    });
    MakeOnce(files.paletted, [&](const std::string& path) {
        VideoTrack video;
        video.encoders = {"rawvideo"};
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
        return Write(path, "avi", &video, nullptr);
    });
    const auto tone = [](const char* codec, int rate) {
        AudioTrack audio;
        audio.encoder = codec;
        audio.sampleRate = rate;
        audio.frames = 3 * rate;
        audio.sample = [rate](std::int64_t i, int) {
            return kToneAmplitude / 32767.0 * Sine(kAvToneHz, rate, i);
        };
        return audio;
    };
    MakeOnce(files.opusWebm, [&](const std::string& path) {
        const AudioTrack audio = tone("libopus", 48000);
        return Write(path, "webm", nullptr, &audio);
    });
    MakeOnce(files.aacMkv, [&](const std::string& path) {
        const AudioTrack audio = tone("aac", 44100);
        return Write(path, "matroska", nullptr, &audio);
    });
    const std::tuple<const std::string*, const char*, int, const char*> tones[] = {
        {&files.flacMkv, "flac", 96000, "matroska"},
        {&files.vorbisMkv, "libvorbis", 44100, "matroska"},
        {&files.vorbisWebm, "libvorbis", 48000, "webm"}};
    for (const auto& [file, codec, rate, format] : tones) {
        MakeOnce(*file, [&](const std::string& path) {
            const AudioTrack audio = tone(codec, rate);
            return Write(path, format, nullptr, &audio);
        });
    }
    MakeOnce(files.cover, [&](const std::string& path) {
        VideoTrack cover;
        cover.encoders = {"mjpeg"};
        cover.pixelFormat = AV_PIX_FMT_YUVJ420P;
        cover.coverArt = true;
        cover.times = EvenTimes(1);
        cover.paint = quadrants;
        AudioTrack audio;
        audio.encoder = "aac";
        audio.frames = kAvSampleRate;
        audio.sample = [](std::int64_t i, int) { return 0.5 * Sine(kAvToneHz, kAvSampleRate, i); };
        return Write(path, "mp4", &cover, &audio);
    });
    MakeOnce(files.ramp, [&](const std::string& path) {
        AudioTrack audio;
        audio.sampleRate = kRampRate;
        audio.frames = kRampFrames;
        audio.sample = [](std::int64_t i, int channel) {
            const double left = RampLeft(i) / 32767.0;
            return channel == 0 ? left : -left;
        };
        return Write(path, "wav", nullptr, &audio);
    });
    MakeOnce(files.tone22k, [&](const std::string& path) {
        AudioTrack audio;
        audio.sampleRate = kToneRate;
        audio.channels = 1;
        audio.frames = 2 * kToneRate;
        audio.sample = [](std::int64_t i, int) {
            return kToneAmplitude / 32767.0 * Sine(kToneHz, kToneRate, i);
        };
        return Write(path, "wav", nullptr, &audio);
    });
    MakeOnce(files.pattern, [&](const std::string& path) {
        VideoTrack video;
        video.encoders = {"ffv1"};
        video.times = EvenTimes(10);
        video.paint = quadrants;
        return Write(path, "matroska", &video, nullptr);
    });
    MakeOnce(files.sar, [&](const std::string& path) {
        VideoTrack video;
        UseMpeg4(&video);
        video.times = EvenTimes(10);
        video.sampleAspectRatio = AVRational{2, 1};
        video.paint = quadrants;
        return Write(path, "mp4", &video, nullptr);
    });
    const std::pair<const std::string*, int> turns[] = {
        {&files.rotated, 90}, {&files.rotated180, 180}, {&files.rotated270, 270}};
    for (const auto& [file, degrees] : turns) {
        const int clockwise = degrees;
        MakeOnce(*file, [&](const std::string& path) {
            VideoTrack video;
            UseMpeg4(&video);
            video.times = EvenTimes(10);
            video.clockwiseRotation = clockwise;
            video.paint = quadrants;
            return Write(path, "mp4", &video, nullptr);
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

bool IsAllZero(const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t byte : bytes) {
        if (byte != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace testmedia
