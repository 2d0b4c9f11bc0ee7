// test-media: writes one of the Python tests' media files with the kit's writer.
//
//   test-media RECIPE PATH
//
// The pictures are the kit's bar codes (TestPictures.h), 160x120 at 25 fps; the sound is
// 16-bit PCM at 44,100 Hz. Recipes:
//   index             FFV1 in Matroska, 10 s (250 pictures), with the ramp as its sound
//   ramp              the ramp alone, in WAV: sample frame s holds s mod 20000 on the left and
//                     its negative on the right
//   video-only        FFV1 in Matroska, 2 s, no sound
//   audio-only        a 440 Hz tone at amplitude 16000, stereo, 2 s, in WAV
//   transport-stream  MPEG-2 in MPEG-TS, 2 s: its header names no streams
//   colour-png        one 64x48 PNG picture of R 200, G 100, B 50
//   coded names       kCodedFrames pictures in the codecs and containers that make frame choice
//                     hard (see kCoded): open GOPs, B-pyramids, hidden frames, variable rates,
//                     clocks far from 0, packets without presentation times
// Exit status 0 when written; else 1, with the reason on standard error (2: no PATH given).
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "tests/support/media/MediaFileWriter.h"
#include "tests/support/media/TestPictures.h"

extern "C" {
#include <libavutil/log.h>
}

namespace testmedia {
namespace {

constexpr int kFps = 25;
constexpr int kSampleRate = 44100;
constexpr int kRampPeriod = 20000;
constexpr int kCodedFrames = 100;

VideoTrack BarCodes(std::vector<std::string> encoders, int frames) {
    VideoTrack video;
    video.encoders = std::move(encoders);
    video.frameRate = AVRational{kFps, 1};
    video.times = EvenTimes(frames);
    video.paint = PaintBarCode;
    return video;
}

AudioTrack Ramp(int seconds) {
    AudioTrack audio;
    audio.sampleRate = kSampleRate;
    audio.frames = static_cast<std::int64_t>(seconds) * kSampleRate;
    audio.sample = [](std::int64_t index, int channel) {
        const double left = static_cast<double>(index % kRampPeriod) / 32767.0;
        return channel == 0 ? left : -left;
    };
    return audio;
}

struct Coded {
    const char* name;
    const char* muxer;  // null: the one the name's extension picks
    const char* encoder;
    EncoderOptions options;
    bool irregular;      // pictures at uneven times, counted in milliseconds
    std::int64_t first;  // the first picture's time, in 1/25 s
};

const Coded kCoded[] = {
    {"h264-open-gop.mp4",
     nullptr,
     "libx264",
     {{"x264-params", "keyint=30:min-keyint=30:open-gop=1:bframes=3:b-pyramid=normal"},
      {"preset", "veryfast"}},
     false,
     0},
    {"h264-pyramid.mkv",
     nullptr,
     "libx264",
     {{"x264-params", "keyint=25:bframes=3:b-pyramid=strict"}, {"preset", "fast"}},
     false,
     0},
    {"hevc.mp4",
     nullptr,
     "libx265",
     {{"x265-params", "keyint=30:bframes=4:log-level=error"}},
     false,
     0},
    {"vfr.mkv", nullptr, "libx264", {{"x264-params", "keyint=20:bframes=2"}}, true, 0},
    {"far-from-zero.mkv",
     nullptr,
     "libx264",
     {{"x264-params", "keyint=25:bframes=2"}},
     false,
     25000},
    {"vp9-hidden-frames.webm",
     nullptr,
     "libvpx-vp9",
     {{"auto-alt-ref", "1"}, {"lag-in-frames", "16"}, {"b", "400k"}},
     false,
     0},
    {"mpeg4.avi", "avi", "mpeg4", {{"g", "20"}}, false, 0},
    // AVI keeps decode times only: with B-frames, FFmpeg guesses the pictures' times.
    {"mpeg4-bframes.avi", "avi", "mpeg4", {{"g", "20"}, {"bf", "2"}}, false, 0},
};

// Milliseconds: 40 apart, every seventh 17 late, drifting 3 later every ten pictures.
std::int64_t IrregularTimeMs(int n) {
    return 40 * n + (n % 7 == 3 ? 17 : 0) + (n / 10) * 3;
}

bool WriteCoded(const Coded& recipe, const std::string& path, std::string* error) {
    VideoTrack video = BarCodes({recipe.encoder}, kCodedFrames);
    video.options = recipe.options;
    for (int n = 0; n < kCodedFrames; ++n) {
        video.times[n] = recipe.first + (recipe.irregular ? IrregularTimeMs(n) : n);
    }
    if (recipe.irregular) {
        video.timeBase = AVRational{1, 1000};
        video.durations.assign(kCodedFrames, 40);
    }
    std::string muxer = recipe.muxer != nullptr ? recipe.muxer : "";
    if (muxer.empty()) {
        const std::string name = recipe.name;
        const std::string extension = name.substr(name.rfind('.') + 1);
        muxer = extension == "mkv" ? "matroska" : extension;
    }
    return WriteMediaFile(path, MediaFile{muxer, &video, nullptr}, error);
}

bool WriteRecipe(const std::string& recipe, const std::string& path, std::string* error) {
    if (recipe == "index") {
        VideoTrack video = BarCodes({"ffv1"}, 10 * kFps);
        const AudioTrack audio = Ramp(10);
        return WriteMediaFile(path, MediaFile{"matroska", &video, &audio}, error);
    }
    if (recipe == "ramp") {
        const AudioTrack audio = Ramp(10);
        return WriteMediaFile(path, MediaFile{"wav", nullptr, &audio}, error);
    }
    if (recipe == "video-only") {
        VideoTrack video = BarCodes({"ffv1"}, 2 * kFps);
        return WriteMediaFile(path, MediaFile{"matroska", &video, nullptr}, error);
    }
    if (recipe == "audio-only") {
        AudioTrack audio;
        audio.frames = 2 * kSampleRate;
        audio.sample = [](std::int64_t index, int) {
            return 16000.0 / 32767.0 * Sine(440, kSampleRate, index);
        };
        return WriteMediaFile(path, MediaFile{"wav", nullptr, &audio}, error);
    }
    if (recipe == "transport-stream") {
        VideoTrack video = BarCodes({"mpeg2video"}, 2 * kFps);
        return WriteMediaFile(path, MediaFile{"mpegts", &video, nullptr}, error);
    }
    if (recipe == "colour-png") {
        VideoTrack video;
        video.encoders = {"png"};
        video.width = 64;
        video.height = 48;
        video.times = {0};
        video.pixelFormat = AV_PIX_FMT_RGB24;
        video.paint = [](AVFrame* picture, int) {
            for (int y = 0; y < picture->height; ++y) {
                std::uint8_t* row = picture->data[0] + y * picture->linesize[0];
                for (int x = 0; x < picture->width; ++x) {
                    row[3 * x] = 200;
                    row[3 * x + 1] = 100;
                    row[3 * x + 2] = 50;
                }
            }
        };
        return WriteMediaFile(path, MediaFile{"image2pipe", &video, nullptr}, error);
    }
    for (const Coded& coded : kCoded) {
        if (recipe == coded.name) {
            return WriteCoded(coded, path, error);
        }
    }
    *error = "no recipe " + recipe;
    return false;
}

}  // namespace
}  // namespace testmedia

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: test-media RECIPE PATH\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    std::string error;
    if (!testmedia::WriteRecipe(argv[1], argv[2], &error)) {
        std::fprintf(stderr, "test-media: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}
