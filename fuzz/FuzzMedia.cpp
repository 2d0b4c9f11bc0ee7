// fuzz_media: arbitrary bytes as a media file, played through the engine at an output format,
// crop, clip mode and span that the input chooses.
//
// Input: a parameter block of kHeaderBytes, then the file's bytes. Offsets in the block (all
// little-endian; see FuzzParams.h for the codes; an all-zero block plays each stream as the
// one clip of its own composite, at most 2 s from 0, at 64x48 and 25 fps or 8000 Hz mono):
//    0  u16  output width code (0: 64)          2  u16  output height code (0: 48)
//    4  u8   frame rate code (0: 25 fps)        5  u8   sample rate code (0: 8000 Hz)
//    6  u8   channel code (0: 1)                7  i8   clip mode (0 stretch, 1 fit, 2 fill,
//                                                       others act as stretch)
//    8  u32  clip parameter (bar colour)       12  4 x i16 crop left, top, right, bottom
//                                                       (all 0: an empty rectangle, i.e. none)
//   20  i16  span start, in 10 ms              22  u16  span length in 10 ms (0: the stream's
//                                                       length); at most 2 s
//   24  u8   flags: 1 a second clip of the same stream after the first, 2 video and audio in
//            one session with a sync object (else one after the other), 4 pause and resume
//            after byte 25's count of deliveries, 8 stop after byte 26's count
// The file is written to a temporary file of this process ($TMPDIR or /tmp,
// fuzz_media.<pid>.bin, removed after each input and at exit) and opened with SelectSources.
//
// Findings: any crash, sanitizer report, leak, hang (-timeout), a scaler writing past its
// picture (ScalerGuard.cpp), or a broken rule of DeliveryChecks.h (frame and buffer shapes,
// times and counts: a timeline keeps its full length whatever the file holds).
//
// FUZZ_ALLOW_BAR_FOURTH_BYTE=1 lets a fit-mode frame carry the clip parameter's top byte as
// its fourth byte (the bars take the parameter as it is), so that a campaign can look past
// that open finding. Off by default.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "engine/EngineRef.h"
#include "fuzz/DeliveryChecks.h"
#include "fuzz/EngineSession.h"
#include "fuzz/FuzzParams.h"
#include "media/MediaInput.h"

namespace {

using namespace fuzzsession;
using namespace std::chrono_literals;

constexpr std::size_t kHeaderBytes = 32;
constexpr std::int64_t kUnitsPerMs = 10'000;
constexpr std::int32_t kMaxClipMs = 2000;
// Frames above this many pixels are not played here: the engine keeps several frames in
// flight, and AddressSanitizer's memory limit would end the run (fuzz_session_capped plays
// them under an address-space limit instead).
constexpr std::uint64_t kMaxFrameBytes = 4ull << 22;

std::string g_path;
bool g_allowBarFourthByte = false;

// The output format, and the clip played in it.
struct Setup : fuzzparams::OutputFormat {
    std::int32_t clipMode, clipParam;
    std::array<std::int32_t, 4> crop;
    std::int64_t spanStart;  // 100-ns units
    std::int32_t spanMs;     // 0: the stream's length
    bool secondClip, together;
    std::int64_t pauseAfter, stopAfter;
};

Setup ReadSetup(const std::uint8_t* data, std::size_t size) {
    const fuzzparams::ParamBytes p(data, std::min(size, kHeaderBytes));
    Setup s;
    static_cast<fuzzparams::OutputFormat&>(s) =
        fuzzparams::ReadOutputFormat(p, 0, {64, 48, {25, 1}, 8000, 1});
    s.clipMode = static_cast<std::int8_t>(p.U8(7));
    s.clipParam = static_cast<std::int32_t>(p.U32(8));
    for (int i = 0; i < 4; ++i) {
        s.crop[static_cast<std::size_t>(i)] = p.I16(12 + 2 * i);
    }
    s.spanStart = static_cast<std::int64_t>(p.I16(20)) * 10 * kUnitsPerMs;
    s.spanMs = std::min<std::int32_t>(p.U16(22) * 10, kMaxClipMs);
    const std::uint8_t flags = p.U8(24);
    s.secondClip = (flags & 1) != 0;
    s.together = (flags & 2) != 0;
    s.pauseAfter = (flags & 4) != 0 ? p.U8(25) : -1;
    s.stopAfter = (flags & 8) != 0 ? p.U8(26) : -1;
    return s;
}

// The largest picture a video stream of the file may give, widened by its sample aspect ratio
// and either way up; 0 when there is none. Opened under the engine's own rules (local files
// only, no playlists or lists of other files), as the session will open it.
std::uint64_t OwnFrameBytes(const std::string& path) {
    const media::InputPtr input = media::OpenInput(path);
    if (!input) {
        return 0;
    }
    std::uint64_t bytes = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters* codec = input->streams[i]->codecpar;
        if (codec->codec_type != AVMEDIA_TYPE_VIDEO) {
            continue;
        }
        const AVRational sar = codec->sample_aspect_ratio;
        const std::int64_t widening =
            sar.num > 0 && sar.den > 0 ? std::max<std::int64_t>(1, sar.num / sar.den + 1) : 1;
        const std::int64_t side = std::max<std::int64_t>(codec->width, codec->height);
        bytes = std::max(bytes, fuzzparams::FrameBytes(side * widening, side * widening));
    }
    return bytes;
}

class Counter final : public Receiver {
  public:
    Counter(VideoChecker* video, AudioChecker* audio) : video_(video), audio_(audio) {}

    void OnVideo(const void* format, const std::uint8_t* data, std::int32_t length,
                 std::int64_t start, std::int64_t duration) override {
        if (video_ == nullptr) {
            Fail("a video delivery on a session without video");
        }
        video_->OnFrame(format, data, length, start, duration);
    }
    void OnAudio(const void* format, const std::uint8_t* data, std::int32_t length,
                 std::int64_t start, std::int64_t duration) override {
        if (audio_ == nullptr) {
            Fail("an audio delivery on a session without audio");
        }
        audio_->OnBuffer(format, data, length, start, duration);
        // Touch every byte, so that a buffer shorter than it claims is seen by the sanitizer.
        volatile std::uint8_t sum = 0;
        for (std::int32_t i = 0; i < length; ++i) {
            sum = static_cast<std::uint8_t>(sum + data[i]);
        }
    }

  private:
    VideoChecker* video_;
    AudioChecker* audio_;
};

// The clips of one stream: the span, and with secondClip the same span again after it.
TimelinePlan Timeline(const Setup& setup, IMediaSource* source, std::int32_t streamMs, bool video) {
    TimelinePlan plan;
    plan.wanted = source != nullptr;
    if (!plan.wanted) {
        return plan;
    }
    const std::int32_t clipMs = setup.spanMs > 0
                                    ? setup.spanMs
                                    : (streamMs > 0 ? std::min(streamMs, kMaxClipMs) : kMaxClipMs);
    ClipPlan clip;
    clip.source = source;
    clip.crop = setup.crop;
    clip.mode = setup.clipMode;
    clip.param = setup.clipParam;
    clip.sourceStart = setup.spanStart;
    clip.sourceStop = setup.spanStart + static_cast<std::int64_t>(clipMs) * kUnitsPerMs;
    plan.clips.push_back(clip);
    if (setup.secondClip) {
        plan.clips.push_back(clip);
    }
    if (video) {
        plan.width = setup.width;
        plan.height = setup.height;
        plan.frameRate = setup.rate.value();
    } else {
        plan.sampleRate = setup.sampleRate;
        plan.channels = setup.channels;
    }
    return plan;
}

std::int64_t LengthOf(const TimelinePlan& plan) {
    std::int64_t length = 0;
    for (const ClipPlan& clip : plan.clips) {
        length += clip.sourceStop - clip.sourceStart;
    }
    return length;
}

// Whether Prepare must succeed: every value set explicitly is within the engine's limits
// (0 stands for the source's own value, which may be anything a file claims).
bool VideoUsable(const Setup& s) {
    return s.width >= 0 && s.height >= 0 && s.width <= 16384 && s.height <= 16384 &&
           (s.rate.num == 0 || (s.rate.value() > 0 && s.rate.value() <= 1000.0));
}

bool AudioUsable(const Setup& s) {
    return s.sampleRate >= 0 && s.sampleRate <= 768000 && s.channels >= 1 && s.channels <= 8;
}

void Play(const Setup& setup, const TimelinePlan& video, const TimelinePlan& audio) {
    const std::int64_t videoLength = LengthOf(video);
    const std::int64_t audioLength = LengthOf(audio);
    VideoChecker videoChecker(setup.width, setup.height, setup.rate.num, setup.rate.den,
                              videoLength);
    if (g_allowBarFourthByte && setup.clipMode == 1) {
        videoChecker.AllowFourthByte(
            static_cast<int>(static_cast<std::uint32_t>(setup.clipParam) >> 24));
    }
    AudioChecker audioChecker(setup.sampleRate, setup.channels, audioLength);
    Counter counter(video.wanted ? &videoChecker : nullptr, audio.wanted ? &audioChecker : nullptr);
    Control control;
    control.sync = true;
    control.pauseAfter = setup.pauseAfter;
    control.stopAfter = setup.stopAfter;
    control.limit = 5s;
    const Outcome outcome = fuzzsession::Run(video, audio, control, counter);
    // Values the engine must accept; a refusal of one beyond its limits is its own business
    // (Prepare may also refuse a source's own format that it cannot use).
    const bool ownVideoFormat = setup.width == 0 || setup.height == 0 || setup.rate.num == 0;
    const bool ownAudioFormat = setup.sampleRate == 0;
    if (video.wanted && !outcome.videoPrepared && VideoUsable(setup) && !ownVideoFormat) {
        Fail("Prepare refused video at %dx%d, %d/%d fps", setup.width, setup.height, setup.rate.num,
             setup.rate.den);
    }
    if (audio.wanted && !outcome.audioPrepared && AudioUsable(setup) && !ownAudioFormat) {
        Fail("Prepare refused audio at %d Hz, %d channels", setup.sampleRate, setup.channels);
    }
    if (video.wanted && outcome.videoPrepared && !VideoUsable(setup)) {
        Fail("Prepare accepted video at %dx%d, %d/%d fps", setup.width, setup.height,
             setup.rate.num, setup.rate.den);
    }
    if (audio.wanted && outcome.audioPrepared && !AudioUsable(setup)) {
        Fail("Prepare accepted audio at %d Hz, %d channels", setup.sampleRate, setup.channels);
    }
    if (outcome.ended) {
        if (outcome.videoPrepared) {
            videoChecker.Finish(true);
        }
        if (outcome.audioPrepared) {
            audioChecker.Finish(true);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    const char* dir = std::getenv("TMPDIR");
    g_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz_media." +
             std::to_string(static_cast<long>(getpid())) + ".bin";
    std::atexit([] { std::remove(g_path.c_str()); });
    const char* allow = std::getenv("FUZZ_ALLOW_BAR_FOURTH_BYTE");
    g_allowBarFourthByte = allow != nullptr && std::strcmp(allow, "1") == 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Setup setup = ReadSetup(data, size);
    const std::uint8_t* media = data + std::min(size, kHeaderBytes);
    const std::size_t mediaSize = size - std::min(size, kHeaderBytes);
    std::FILE* file = std::fopen(g_path.c_str(), "wb");
    if (file == nullptr) {
        Fail("cannot write %s", g_path.c_str());
    }
    const bool written = mediaSize == 0 || std::fwrite(media, 1, mediaSize, file) == mediaSize;
    if (std::fclose(file) != 0 || !written) {
        Fail("cannot write %s", g_path.c_str());
    }

    int result = 0;
    {
        EngineRef<IMediaSource> video;
        EngineRef<IMediaSource> audio;
        std::int32_t videoMs = -1;
        std::int32_t audioMs = -1;
        if (SelectSources(g_path.c_str(), video.put(), &videoMs, audio.put(), &audioMs) >= 0) {
            const bool ownSize = setup.width == 0 || setup.height == 0;
            const std::uint64_t frameBytes =
                ownSize ? std::max(OwnFrameBytes(g_path),
                                   fuzzparams::FrameBytes(std::max(setup.width, 1),
                                                          std::max(setup.height, 1)))
                        : fuzzparams::FrameBytes(setup.width, setup.height);
            const bool videoFits =
                frameBytes <= kMaxFrameBytes || setup.width > 16384 || setup.height > 16384;
            if (video && !videoFits) {
                video.reset();
                result = -1;  // not played: keep it out of the corpus
            }
            const TimelinePlan videoPlan = Timeline(setup, video.get(), videoMs, true);
            const TimelinePlan audioPlan = Timeline(setup, audio.get(), audioMs, false);
            if (setup.together) {
                Play(setup, videoPlan, audioPlan);
            } else {
                Play(setup, videoPlan, TimelinePlan{});
                Play(setup, TimelinePlan{}, audioPlan);
            }
        }
    }
    std::remove(g_path.c_str());
    return result;
}
