// fuzz_session (and fuzz_session_capped): whole sessions on media that the input describes.
//
// The input describes a small media file (muxer, video encoder, picture size and format, GOP,
// B-frames, frame count and rate, rotation, aspect, where the clock starts, an audio stream),
// which is made in-process with FFmpeg's encoders and muxers (MediaMaker.h): every picture is
// one flat colour that carries its frame index. The file is decoded straight through once with
// FFmpeg to learn what each source time shows. Then a session runs on the engine as a host
// library runs one: a video timeline of one to three clips of the file (spans, crops) at an
// output size, frame rate and clip mode the input chooses, and an audio timeline of the same
// spans, optionally kept in step by the sync object, paused and resumed, or stopped early.
//
// Checked for every frame: shape and place on the timeline (DeliveryChecks.h), and that the
// picture (read at the one pixel every clip mode keeps inside it) is the source frame shown at
// its source time by the straight decode, or black before the first frame and past the last.
// For audio: shape, place and count; the tone where the file has sound (away from its edges),
// silence where it has none. A session that ends must have delivered its whole length.
//
// fuzz_session is built with AddressSanitizer and UndefinedBehaviorSanitizer (and ScalerGuard:
// see ScalerGuard.cpp); it skips outputs above kMaxFrameBytes a frame. fuzz_session_capped is
// built with UndefinedBehaviorSanitizer only and runs under an address-space limit
// (FUZZ_ADDRESS_SPACE_MB, default 3072) at every size up to the engine's limit; the input may
// also leave the session only a little room above what the process has mapped (byte 13), so
// that allocations fail at every stage. Running out must end the session, not the process,
// and no exception may come out of an engine call; a session that may have run out may end
// early and show black or play silence, but never a wrong picture. A session that neither
// ends nor delivers for 3 s is a hang.
//
// Input layout (missing bytes read as 0; codes in FuzzParams.h):
//    0 u8 muxer           1 u8 video encoder     2 u8 width code        3 u8 height code
//    4 u8 pixel format    5 u8 GOP (0: 12)       6 u8 B-frames (mod 4)  7 u8 frames (0: 25,
//                                                                          else 1 + v mod 60)
//    8 u8 frame rate      9 u8 flags: bits 0-1 quarter turns clockwise, 2 pixels 2:1,
//                                     3 pixels 1:2, 4 clock starts at 10 s,
//                                     5-6 audio length: as the video, half, double, 0.1 s
//   10 u8 audio encoder (0: none)   11 u8 audio rate   12 u8 audio channels
//   13 u8 capped build only: 0 the session runs under the address-space limit; else it gets
//         32, 64, 128, 192, 256, 384, 512 or 1024 MB above what the process has mapped
//   16 u16 output width code (0: the source's own)     18 u16 output height code
//   20 u8 frame rate code (0: own)  21 u8 sample rate code (0: own)  22 u8 channels (0: 2)
//   23 i8 clip mode      24 u8 bar colour (one of 8)   25 u8 clips (1 + v mod 3)
//   26 u8 flags: 1 sync object, 2 pause after byte 27's count of deliveries,
//                4 stop after byte 28's count, 8 no audio timeline
//   32 + 8 i: clip i: i16 start (ms), u16 length (ms; 0: to the end of the video, 40 ms to
//             4 s, else v mod 2001), u8 x 4 crop (left, top, right, bottom in 1/256 of the picture;
//             all 0: none)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/rational.h>
}
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_SESSION_HAS_LSAN 1
#include <sanitizer/lsan_interface.h>
#endif
#endif

#include "engine/EngineRef.h"
#include "fuzz/DeliveryChecks.h"
#include "fuzz/EngineSession.h"
#include "fuzz/FuzzParams.h"
#include "fuzz/MediaMaker.h"

namespace {

using namespace fuzzsession;
using namespace std::chrono_literals;

constexpr std::int64_t kUnitsPerMs = 10'000;
constexpr std::int64_t kUnitsPerSecond = 10'000'000;
constexpr std::size_t kClipBytes = 32;

#if defined(FUZZ_SESSION_CAPPED)
constexpr bool kCapped = true;
#else
constexpr bool kCapped = false;
// Larger frames are not played under AddressSanitizer (see fuzz_session_capped).
constexpr std::uint64_t kMaxFrameBytes = 4ull << 22;
#endif
std::uint64_t g_addressSpace = 0;  // bytes, when capped
bool g_verbose = false;            // FUZZ_VERBOSE=1: a line per input on stderr
const char* g_keep = nullptr;      // FUZZ_KEEP_MEDIA=PATH: the made file is left at PATH

std::string g_base;

constexpr std::uint32_t kBarColours[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00,
                                         0xFF0000, 0xFF00FF, 0x00FFFF, 0xFFFF00};

struct Clip {
    std::int64_t sourceStart = 0;  // 100-ns units
    std::int64_t sourceStop = 0;
    std::int64_t timelineStart = 0;
    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1};
    // The crop keeps only a sliver (or the picture is one), all of it near an edge, where a
    // lossy codec's picture is not flat (a chroma sample half outside an odd-sized picture,
    // a block's padding): there only "picture or black" can be told.
    bool edgeSliver = false;
};

// The output format, and the media and clips played in it.
struct Setup : fuzzparams::OutputFormat {
    mediamaker::MediaPlan media;
    std::int32_t clipMode = 0;
    std::uint32_t barColour = 0;
    bool sync = false, audioTimeline = true;
    std::int64_t pauseAfter = -1, stopAfter = -1;
    std::uint64_t headroom = 0;  // capped build: address space left to the session, 0: the cap
    struct ClipBytes {
        std::int16_t startMs;
        std::uint16_t lengthCode;
        std::uint8_t crop[4];
    };
    std::vector<ClipBytes> clips;
};

Setup ReadSetup(const std::uint8_t* data, std::size_t size) {
    const fuzzparams::ParamBytes p(data, size);
    Setup s;
    mediamaker::VideoPlan& v = s.media.video;
    s.media.muxer = p.U8(0);
    v.encoder = p.U8(1);
    v.width = fuzzparams::SourceDimension(p.U8(2));
    v.height = fuzzparams::SourceDimension(p.U8(3));
    v.pixelFormat = p.U8(4);
    v.gop = p.U8(5) == 0 ? 12 : p.U8(5);
    v.bFrames = p.U8(6) % 4;
    v.frames = p.U8(7) == 0 ? 25 : 1 + p.U8(7) % 60;
    const fuzzparams::Rate sourceRate = fuzzparams::SourceFrameRate(p.U8(8));
    v.rate = AVRational{sourceRate.num, sourceRate.den};
    const std::uint8_t mediaFlags = p.U8(9);
    v.rotation = (mediaFlags & 3) * 90;
    if ((mediaFlags & 4) != 0) {
        v.sar = AVRational{2, 1};
    } else if ((mediaFlags & 8) != 0) {
        v.sar = AVRational{1, 2};
    }
    s.media.clockStartUs = (mediaFlags & 16) != 0 ? 10'000'000 : 0;
    const double videoSeconds = v.frames * static_cast<double>(v.rate.den) / v.rate.num;
    const int audioLength = (mediaFlags >> 5) & 3;
    s.media.audio.seconds = audioLength == 0   ? videoSeconds
                            : audioLength == 1 ? videoSeconds / 2
                            : audioLength == 2 ? videoSeconds * 2
                                               : 0.1;
    s.media.audio.encoder = p.U8(10);
    s.media.audio.rate = p.U8(11);
    s.media.audio.channels = p.U8(12);
    constexpr std::uint64_t kHeadroomMb[] = {32, 64, 128, 192, 256, 384, 512, 1024};
    s.headroom = p.U8(13) == 0 ? 0 : kHeadroomMb[(p.U8(13) - 1) % 8] << 20;

    static_cast<fuzzparams::OutputFormat&>(s) =
        fuzzparams::ReadOutputFormat(p, 16, {0, 0, {0, 1}, 0, 2});
    s.clipMode = static_cast<std::int8_t>(p.U8(23));
    s.barColour = kBarColours[p.U8(24) % 8];
    const int clips = 1 + p.U8(25) % 3;
    const std::uint8_t flags = p.U8(26);
    s.sync = (flags & 1) != 0;
    s.pauseAfter = (flags & 2) != 0 ? p.U8(27) : -1;
    s.stopAfter = (flags & 4) != 0 ? p.U8(28) : -1;
    s.audioTimeline = (flags & 8) == 0;
    for (int i = 0; i < clips; ++i) {
        const std::size_t at = kClipBytes + 8 * static_cast<std::size_t>(i);
        Setup::ClipBytes clip;
        clip.startMs = p.I16(at);
        clip.lengthCode = p.U16(at + 2);
        for (int c = 0; c < 4; ++c) {
            clip.crop[c] = p.U8(at + 4 + static_cast<std::size_t>(c));
        }
        s.clips.push_back(clip);
    }
    return s;
}

bool VideoUsable(const Setup& s) {
    return s.width <= 16384 && s.height <= 16384 &&
           (s.rate.num == 0 || (s.rate.value() > 0 && s.rate.value() <= 1000.0));
}

bool AudioUsable(const Setup& s) {
    return s.sampleRate >= 0 && s.sampleRate <= 768000 && s.channels >= 1 && s.channels <= 8;
}

// What the session must show, and the checks of what it shows.
class Judge final : public Receiver {
  public:
    Judge(const Setup& setup, const mediamaker::MadeMedia& made,
          const mediamaker::Reference& reference, std::vector<Clip> clips, std::int64_t length,
          bool audioInFile, bool shortOfMemory)
        : setup_(setup),
          made_(made),
          reference_(reference),
          clips_(std::move(clips)),
          audioInFile_(audioInFile),
          shortOfMemory_(shortOfMemory),
          video_(setup.width, setup.height, setup.rate.num, setup.rate.den, length),
          audio_(setup.sampleRate, setup.channels, length) {}

    void OnVideo(const void* format, const std::uint8_t* data, std::int32_t length,
                 std::int64_t start, std::int64_t duration) override {
        const std::int64_t index = video_.frames();
        video_.OnFrame(format, data, length, start, duration);
        const int width = video_.width();
        const int height = video_.height();
        const std::uint8_t* pixel =
            data + (static_cast<std::int64_t>((height - 1) / 2) * width + (width - 1) / 2) * 4;
        // A coarse picture is dithered, and where it is shown near its own size the centre may
        // be one of its black dots: it counts as black only when the pixels up to two away from
        // the centre, across and down, are black too. (Bars reach that close only around a
        // picture under five pixels across, a sliver the judge is lenient with anyway.)
        const bool black = made_.coarse ? CentreCrossIsBlack(data, width, height) : IsBlack(pixel);
        const int shown = black ? -1 : mediamaker::IndexOf(pixel, made_.gray);
        const int clip = ClipAt(start);
        if (clip < 0) {
            Fail("video frame %lld at %lld lies in no clip", static_cast<long long>(index),
                 static_cast<long long>(start));
        }
        const std::int64_t sourceTime = SourceTime(clip, start);
        bool blackAllowed = false;
        int allowed[3] = {-2, -2, -2};
        Expected(sourceTime, &blackAllowed, allowed);
        // A coarse picture is dithered: where a single row or column of it is shown, stretched
        // over the output, the pixel looked at may be one of its black dots.
        const bool ditheredLine = made_.coarse && ShowsOneLine(clip, width, height);
        bool fine = black ? blackAllowed || shortOfMemory_ || ditheredLine : false;
        const bool coarse = made_.coarse || clips_[static_cast<std::size_t>(clip)].edgeSliver;
        if (!black && !fine) {
            if (coarse) {
                fine = allowed[0] != -2;  // a picture is due; which one cannot be told
            } else {
                for (int candidate : allowed) {
                    fine = fine || (candidate >= 0 && candidate == shown);
                }
            }
        }
        if (!fine) {
            std::string expected;
            for (int candidate : allowed) {
                if (candidate >= 0 || (coarse && candidate == -1)) {
                    expected += (expected.empty() ? "" : " or ") +
                                (coarse ? std::string("a picture")
                                        : "source frame " + std::to_string(candidate));
                }
            }
            if (blackAllowed) {
                expected += expected.empty() ? "black" : " or black";
            }
            const std::string seen =
                black        ? "black"
                : shown >= 0 ? "source frame " + std::to_string(shown)
                             : "a colour of no frame (" + std::to_string(pixel[2]) + "," +
                                   std::to_string(pixel[1]) + "," + std::to_string(pixel[0]) + ")";
            Fail(
                "video frame %lld at %.3f ms (clip %d, source time %.3f ms) shows %s, "
                "expected %s\n  media: %s, %dx%d, %d frames at %d/%d fps, GOP %d, "
                "%d B-frames; output %dx%d (%dx%d set) at %d/%d fps, mode %d",
                static_cast<long long>(index), start / 1e4, clip, sourceTime / 1e4, seen.c_str(),
                expected.c_str(), made_.Describe().c_str(), setup_.media.video.width,
                setup_.media.video.height, setup_.media.video.frames, setup_.media.video.rate.num,
                setup_.media.video.rate.den, setup_.media.video.gop, setup_.media.video.bFrames,
                width, height, setup_.width, setup_.height, setup_.rate.num, setup_.rate.den,
                setup_.clipMode);
        }
    }

    void OnAudio(const void* format, const std::uint8_t* data, std::int32_t length,
                 std::int64_t start, std::int64_t duration) override {
        const std::int64_t first = audio_.OnBuffer(format, data, length, start, duration);
        const int rate = audio_.rate();
        const int channels = audio_.channels();
        const std::int64_t frames = length / (2 * channels);
        // Within one clip only: the clips are placed by sample index.
        const int clip = ClipAt(start);
        if (clip < 0) {
            Fail("audio buffer at %lld lies in no clip", static_cast<long long>(start));
        }
        const std::int64_t clipFirst = SampleFramesIn(clips_[clip].timelineStart, rate);
        const std::int64_t clipEnd = SampleFramesIn(
            clips_[clip].timelineStart + (clips_[clip].sourceStop - clips_[clip].sourceStart),
            rate);
        if (first < clipFirst || first + frames > clipEnd) {
            return;
        }
        const std::int64_t sourceStart =
            clips_[clip].sourceStart + SampleTime(first, rate) - SampleTime(clipFirst, rate);
        const std::int64_t sourceEnd = sourceStart + duration;
        std::vector<double> energy(static_cast<std::size_t>(channels), 0.0);
        bool silent = true;
        for (std::int64_t i = 0; i < frames * channels; ++i) {
            std::int16_t sample;
            std::memcpy(&sample, data + 2 * i, 2);
            silent = silent && sample == 0;
            energy[static_cast<std::size_t>(i % channels)] += static_cast<double>(sample) * sample;
        }
        const bool sound = audioInFile_ && reference_.hasAudio;
        if (sound && !reference_.audioPlaced) {
            return;  // the shape and place of the buffer are checked; its sound cannot be
        }
        // Silence where the file has no audio at all, with room for the resampler's tails.
        bool mustBeSilent = true;
        // The tone where the file has it, well inside (codecs ramp in and out, and the engine
        // takes timestamp jumps below 20 ms for rounding).
        bool mustSound = false;
        for (const mediamaker::AudioSpan& span : reference_.audio) {
            if (!sound) {
                break;
            }
            if (sourceEnd > span.start - 50 * kUnitsPerMs &&
                sourceStart < span.end + 50 * kUnitsPerMs) {
                mustBeSilent = false;
            }
            if (span.loud && sourceStart >= span.start + 50 * kUnitsPerMs &&
                sourceEnd <= span.end - 50 * kUnitsPerMs) {
                mustSound = true;
            }
        }
        if (mustBeSilent && !silent) {
            Fail(
                "audio buffer at %.3f ms (clip %d, source %.3f to %.3f ms) is not silent where "
                "the file has no sound%s\n  media: %s",
                start / 1e4, clip, sourceStart / 1e4, sourceEnd / 1e4,
                sound ? "" : " (none in the session)", made_.Describe().c_str());
        }
        // A 440 Hz tone at half scale: RMS about 11,585 in each channel it reaches.
        if (mustSound && rate >= 2000 && frames >= 20 && !shortOfMemory_) {
            double loudest = 0.0;
            for (double e : energy) {
                loudest = std::max(loudest, std::sqrt(e / static_cast<double>(frames)));
            }
            if (loudest < 3000.0) {
                Fail(
                    "audio buffer at %.3f ms (clip %d, source %.3f to %.3f ms) is %s (RMS "
                    "%.0f) where the file plays its tone\n  media: %s",
                    start / 1e4, clip, sourceStart / 1e4, sourceEnd / 1e4,
                    silent ? "silent" : "almost silent", loudest, made_.Describe().c_str());
            }
        }
    }

    const VideoChecker& video() const { return video_; }
    const AudioChecker& audio() const { return audio_; }

  private:
    int ClipAt(std::int64_t t) const {
        for (std::size_t i = 0; i < clips_.size(); ++i) {
            const Clip& c = clips_[i];
            if (t >= c.timelineStart && t < c.timelineStart + (c.sourceStop - c.sourceStart)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // Whether clip `clip` may show less than two rows or columns of the decoded picture in a
    // width x height output: its crop (or the whole picture) is that thin, or Fill cuts it to
    // the output's shape and leaves that little. Not every container keeps the sample aspect
    // ratio and the rotation, so with and without them.
    static bool IsBlack(const std::uint8_t* pixel) {
        return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
    }

    static bool CentreCrossIsBlack(const std::uint8_t* data, int width, int height) {
        constexpr int kReach = 2;
        const int cx = (width - 1) / 2;
        const int cy = (height - 1) / 2;
        const auto black = [&](int x, int y) {
            return x < 0 || y < 0 || x >= width || y >= height ||
                   IsBlack(data + (static_cast<std::int64_t>(y) * width + x) * 4);
        };
        for (int d = -kReach; d <= kReach; ++d) {
            if (!black(cx + d, cy) || !black(cx, cy + d)) {
                return false;
            }
        }
        return true;
    }

    bool ShowsOneLine(int clip, int width, int height) const {
        const Clip& c = clips_[static_cast<std::size_t>(clip)];
        const bool cropped = c.crop[0] >= 0;
        const double w = cropped ? c.crop[2] - c.crop[0] : reference_.width;
        const double h = cropped ? c.crop[3] - c.crop[1] : reference_.height;
        if (w < 1.5 || h < 1.5) {
            return true;
        }
        if (setup_.clipMode != 2 || width <= 0 || height <= 0) {
            return false;
        }
        const AVRational sar = setup_.media.video.sar;
        const double planned = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0;
        for (const double aspect : {1.0, planned}) {
            for (const bool quarterTurn : {false, setup_.media.video.rotation % 180 != 0}) {
                const double shownWidth = quarterTurn ? h : w * aspect;
                const double shownHeight = quarterTurn ? w * aspect : h;
                const double scale = std::max(width / shownWidth, height / shownHeight);
                const double cutWidth = width / scale;
                const double cutHeight = height / scale;
                const double visibleWidth = (quarterTurn ? cutHeight : cutWidth) / aspect;
                const double visibleHeight = quarterTurn ? cutWidth : cutHeight;
                if (visibleWidth < 1.5 || visibleHeight < 1.5) {
                    return true;
                }
            }
        }
        return false;
    }

    std::int64_t SourceTime(int clip, std::int64_t t) const {
        const Clip& c = clips_[static_cast<std::size_t>(clip)];
        return c.sourceStart + (t - c.timelineStart);
    }

    // The straight decode's picture at source time s: the latest frame at or before it, black
    // before the first and past the end of the last. Where s is within a unit of a frame's
    // time, either neighbour is right; where it is within half a frame of the last frame's
    // end, so is either the frame or black.
    void Expected(std::int64_t s, bool* blackAllowed, int (&allowed)[3]) const {
        const std::vector<mediamaker::ReferenceFrame>& frames = reference_.frames;
        const auto after = std::upper_bound(
            frames.begin(), frames.end(), s,
            [](std::int64_t time, const mediamaker::ReferenceFrame& f) { return time < f.time; });
        if (after == frames.begin()) {
            *blackAllowed = true;
            if (frames.front().time - s <= 1) {
                allowed[0] = frames.front().index;
            }
            return;
        }
        const std::size_t j = static_cast<std::size_t>(after - frames.begin()) - 1;
        allowed[0] = frames[j].index;
        if (j + 1 < frames.size() && frames[j + 1].time - s <= 1) {
            allowed[1] = frames[j + 1].index;
        }
        if (j > 0 && s - frames[j].time <= 1) {
            allowed[2] = frames[j - 1].index;
        }
        if (j + 1 == frames.size()) {
            std::int64_t length = frames[j].duration;
            if (length <= 0 && j > 0) {
                length = frames[j].time - frames[j - 1].time;
            }
            if (length <= 0) {
                length = reference_.frameTicks > 0 ? reference_.frameTicks : kUnitsPerSecond / 25;
            }
            const std::int64_t slack = std::max<std::int64_t>(length / 2, 1);
            const std::int64_t end = frames[j].time + length;
            if (s >= end + slack) {
                allowed[0] = allowed[1] = allowed[2] = -2;
                *blackAllowed = true;
            } else if (s >= end - slack) {
                *blackAllowed = true;
            }
        }
    }

    const Setup& setup_;
    const mediamaker::MadeMedia& made_;
    const mediamaker::Reference& reference_;
    std::vector<Clip> clips_;
    bool audioInFile_;
    // Running out of memory may cost a picture (black) or the sound (silence), never the
    // right picture for a wrong one.
    bool shortOfMemory_;
    VideoChecker video_;
    AudioChecker audio_;
};

// Leaks of what is allocated while the media is made and read back are FFmpeg's and its
// encoders' (libx264, libx265 and libvpx leak on some refused settings), not the engine's:
// LeakSanitizer does not count them (it is told per thread; the maker runs on this one).
class MakerScope {
  public:
#if defined(FUZZ_SESSION_HAS_LSAN)
    MakerScope() {
        __lsan_disable();
    }
    ~MakerScope() {
        __lsan_enable();
    }
#else
    MakerScope() {}
    ~MakerScope() {}
#endif
    MakerScope(const MakerScope&) = delete;
    MakerScope& operator=(const MakerScope&) = delete;
};

std::int64_t CropAt(std::uint8_t code, int size) {
    return static_cast<std::int64_t>(code) * size / 256;
}

// The address space this process has mapped, in bytes.
std::uint64_t AddressSpaceInUse() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long long pages = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%llu", &pages) != 1) {
            pages = 0;
        }
        std::fclose(statm);
    }
    return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// In the capped build, lowers the soft address-space limit to what the process has mapped
// now plus `headroom` for as long as it lives, so that allocations fail inside the session
// at a point the input chooses.
class Headroom {
  public:
    explicit Headroom(std::uint64_t headroom) {
        if (!kCapped || headroom == 0 || getrlimit(RLIMIT_AS, &saved_) != 0) {
            return;
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<std::uint64_t>(saved_.rlim_max, AddressSpaceInUse() + headroom);
        active_ = setrlimit(RLIMIT_AS, &lowered) == 0;
    }
    ~Headroom() {
        if (active_) {
            setrlimit(RLIMIT_AS, &saved_);
        }
    }
    Headroom(const Headroom&) = delete;
    Headroom& operator=(const Headroom&) = delete;

  private:
    rlimit saved_ = {};
    bool active_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    const char* dir = std::getenv("TMPDIR");
    g_base = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz_session." +
             std::to_string(static_cast<long>(getpid()));
    const char* verbose = std::getenv("FUZZ_VERBOSE");
    g_verbose = verbose != nullptr && std::strcmp(verbose, "1") == 0;
    g_keep = std::getenv("FUZZ_KEEP_MEDIA");
    if (kCapped) {
        const char* cap = std::getenv("FUZZ_ADDRESS_SPACE_MB");
        const long long megabytes = cap != nullptr && *cap != '\0' ? std::atoll(cap) : 3072;
        g_addressSpace = static_cast<std::uint64_t>(megabytes) << 20;
        const rlimit limit = {g_addressSpace, g_addressSpace};
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            std::perror("fuzz_session_capped: setrlimit(RLIMIT_AS)");
            std::abort();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Setup setup = ReadSetup(data, size);
    const mediamaker::VideoPlan& plan = setup.media.video;

    // Output frames this large are left to the capped build.
    const std::int64_t ownWidth =
        static_cast<std::int64_t>(plan.width) * std::max(1, plan.sar.num / plan.sar.den);
    const std::int64_t ownSide = std::max<std::int64_t>(ownWidth, plan.height);
    const std::uint64_t frameBytes = fuzzparams::FrameBytes(
        setup.width != 0 ? setup.width : ownSide, setup.height != 0 ? setup.height : ownSide);
#if !defined(FUZZ_SESSION_CAPPED)
    if (frameBytes > kMaxFrameBytes && VideoUsable(setup)) {
        return -1;
    }
#endif

    const std::string path = g_keep != nullptr && *g_keep != '\0' ? g_keep : g_base + ".media";
    fuzzsession::RemoveOnFailure(g_keep == nullptr ? path : std::string());
    mediamaker::MadeMedia made;
    mediamaker::Reference reference;
    std::string why;
    bool usable = false;
    {
        const MakerScope quiet;
        usable = mediamaker::Make(setup.media, path, &made) &&
                 mediamaker::ReadReference(path, made, &reference, &why) &&
                 static_cast<int>(reference.frames.size()) == plan.frames;
    }
    if (!usable) {
        if (g_verbose) {
            std::fprintf(stderr, "fuzz_session: not made: %s, %dx%d (%s)\n",
                         made.Describe().c_str(), plan.width, plan.height,
                         why.empty() ? "the encoder or muxer refuses" : why.c_str());
        }
        std::remove(path.c_str());
        fuzzsession::RemoveOnFailure(std::string());
        return -1;  // the encoders or the muxer do not make this; not the engine's business
    }

    EngineRef<IMediaSource> videoSource;
    EngineRef<IMediaSource> audioSource;
    std::int32_t videoMs = -1;
    std::int32_t audioMs = -1;
    if (SelectSources(path.c_str(), videoSource.put(), &videoMs, audioSource.put(), &audioMs) < 0 ||
        !videoSource) {
        Fail("SelectSources finds no video in a file that FFmpeg decodes (%s)",
             made.Describe().c_str());
    }
    if (reference.hasAudio && !audioSource) {
        Fail("SelectSources finds no audio in a file that FFmpeg decodes (%s)",
             made.Describe().c_str());
    }
    EngineRef<IMediaSource> empty;
    if (!audioSource) {
        CreateEmptySource(nullptr, empty.put());
        if (!empty) {
            Fail("CreateEmptySource failed");
        }
    }

    // The clips, end to end.
    const std::int64_t videoEnd =
        reference.frames.back().time +
        (reference.frameTicks > 0 ? reference.frameTicks : kUnitsPerSecond / 25);
    std::vector<Clip> clips;
    std::int64_t at = 0;
    TimelinePlan video;
    TimelinePlan audio;
    video.wanted = true;
    video.width = setup.width;
    video.height = setup.height;
    video.frameRate = setup.rate.value();
    audio.wanted = setup.audioTimeline;
    audio.sampleRate = setup.sampleRate;
    audio.channels = setup.channels;
    for (const Setup::ClipBytes& bytes : setup.clips) {
        Clip clip;
        clip.sourceStart = bytes.startMs * kUnitsPerMs;
        // To the end of the video, but at least 40 ms and at most 4 s (a start far before
        // the file would otherwise make a long black lead-in).
        const std::int64_t length =
            bytes.lengthCode == 0 ? std::clamp<std::int64_t>(videoEnd - clip.sourceStart,
                                                             40 * kUnitsPerMs, 4 * kUnitsPerSecond)
                                  : (bytes.lengthCode % 2001) * kUnitsPerMs;
        clip.sourceStop = clip.sourceStart + length;
        clip.timelineStart = at;
        at += length;
        if (bytes.crop[0] != 0 || bytes.crop[1] != 0 || bytes.crop[2] != 0 || bytes.crop[3] != 0) {
            const int w = reference.width;
            const int h = reference.height;
            clip.crop = {static_cast<std::int32_t>(CropAt(bytes.crop[0], w)),
                         static_cast<std::int32_t>(CropAt(bytes.crop[1], h)),
                         static_cast<std::int32_t>(w - CropAt(bytes.crop[2], w)),
                         static_cast<std::int32_t>(h - CropAt(bytes.crop[3], h))};
            const int cropWidth = clip.crop[2] - clip.crop[0];
            const int cropHeight = clip.crop[3] - clip.crop[1];
            clip.edgeSliver = cropWidth > 0 && cropHeight > 0 && (cropWidth < 8 || cropHeight < 8);
        }
        clip.edgeSliver = clip.edgeSliver || reference.width < 8 || reference.height < 8;
        clips.push_back(clip);
        ClipPlan plan;
        plan.crop = clip.crop;
        plan.mode = setup.clipMode;
        plan.param = static_cast<std::int32_t>(setup.barColour);
        plan.sourceStart = clip.sourceStart;
        plan.sourceStop = clip.sourceStop;
        plan.source = videoSource.get();
        video.clips.push_back(plan);
        plan.source = audioSource ? audioSource.get() : empty.get();
        plan.crop = {-1, -1, -1, -1};
        audio.clips.push_back(plan);
    }

    // Under the address-space limit a session whose frames may not all fit may run out, and
    // so may one left little headroom: it may then end early, and lose pictures or sound.
    const bool squeezed = kCapped && setup.headroom != 0;
    const bool mayRunOut = squeezed || (kCapped && frameBytes * 12 > g_addressSpace / 2);
    Judge judge(setup, made, reference, clips, at, static_cast<bool>(audioSource), mayRunOut);
    Control control;
    control.sync = setup.sync;
    control.pauseAfter = setup.pauseAfter;
    control.stopAfter = setup.stopAfter;
    control.limit = 8s;
    Outcome outcome;
    {
        const Headroom headroom(setup.headroom);
        outcome = fuzzsession::Run(video, audio, control, judge);
    }

    // A session that neither ends nor delivers has hung, unless its frames are so large that
    // one takes seconds to make.
    if (outcome.stalled && frameBytes <= (std::uint64_t{16} << 20)) {
        Fail("the session neither ended nor delivered anything in its last %d s (%s)",
             kStallSeconds, made.Describe().c_str());
    }
    if (outcome.videoPrepared != VideoUsable(setup) && !(squeezed && !outcome.videoPrepared)) {
        Fail("Prepare %s video at %dx%d (0: own), %d/%d fps (%s)",
             outcome.videoPrepared ? "accepted" : "refused", setup.width, setup.height,
             setup.rate.num, setup.rate.den, made.Describe().c_str());
    }
    if (audio.wanted && outcome.audioPrepared != AudioUsable(setup) &&
        !(squeezed && !outcome.audioPrepared)) {
        Fail("Prepare %s audio at %d Hz (0: own), %d channels (%s)",
             outcome.audioPrepared ? "accepted" : "refused", setup.sampleRate, setup.channels,
             made.Describe().c_str());
    }
    const bool complete = outcome.ended && !outcome.stopped && !mayRunOut;
    if (g_verbose) {
        std::fprintf(stderr,
                     "fuzz_session: %s, %dx%d, %d frames%s; %zu clips, %.3f s at %dx%d: %lld "
                     "frames, %lld sample frames, %s\n",
                     made.Describe().c_str(), plan.width, plan.height, plan.frames,
                     !reference.hasAudio     ? ""
                     : reference.audioPlaced ? ", sound placed"
                                             : ", sound not placed",
                     clips.size(), at / 1e7, judge.video().width(), judge.video().height(),
                     static_cast<long long>(judge.video().frames()),
                     static_cast<long long>(judge.audio().sampleFrames()),
                     outcome.ended     ? "ended"
                     : outcome.stopped ? "stopped"
                                       : "not ended");
    }
    if (outcome.videoPrepared) {
        judge.video().Finish(complete);
    }
    if (outcome.audioPrepared) {
        judge.audio().Finish(complete);
    }
    videoSource.reset();
    audioSource.reset();
    if (g_keep == nullptr) {
        std::remove(path.c_str());
    }
    fuzzsession::RemoveOnFailure(std::string());
    return 0;
}
