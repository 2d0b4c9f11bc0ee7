// feed_job_r: runs reference job R through libfeed's public interface and prints what it cost.
//
//   feed_job_r MEDIA_DIR
//
// Video: A.mp4 [0, 20 s) then B.mp4 [5, 25 s). Audio: A.mp4 [0, 20 s) then C.mp3 [0, 15 s), which
// the library pads with silence to the video's 40 s. Output 640x360 at 25 fps and 16-bit stereo at
// 44100 Hz, video faded in from and out to black over 1 s, audio faded in and out over 3 s.
// The callbacks only touch what they are given, so the figures are the library's own cost.
//
// Prints one line, e.g. "frames=1000 samples=1764000 wall_s=3.41 cpu_s=5.90 maxrss_mib=120",
// and exits with 1 when the counts are not the job's 1000 frames and 1764000 sample frames.

#include <feed/feed.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 360;
constexpr double kFramesPerSecond = 25.0;
constexpr int32_t kSampleRate = 44100;
constexpr int32_t kChannels = 2;
constexpr int64_t kExpectedFrames = 1000;
constexpr int64_t kExpectedSampleFrames = 1764000;

// Safety net: a session that has not finished by then is stopped and counted as a failure.
constexpr auto kGiveUpAfter = std::chrono::minutes(10);
constexpr auto kPollEvery = std::chrono::milliseconds(5);

struct Counters {
    std::atomic<int64_t> frames{0};
    std::atomic<int64_t> badFrames{0};  // frames whose size is not 640x360x4
    std::atomic<int64_t> sampleFrames{0};
    std::atomic<int64_t> badBuffers{0};  // buffers that are not 16-bit stereo at 44100 Hz
    std::atomic<uint64_t> sink{0};       // keeps the touching of the data from being optimised out
};

intptr_t FEED_CALL OnVideoFrame(void* user, const uint8_t* frame, int32_t length,
                                int32_t /*positionMs*/, int32_t width, int32_t height) {
    auto* counters = static_cast<Counters*>(user);
    uint64_t sum = 0;
    if (frame != nullptr) {
        for (int32_t offset = 0; offset < length; offset += 4096) {
            sum += frame[offset];
        }
    }
    if (frame == nullptr || width != kWidth || height != kHeight ||
        length != kWidth * kHeight * 4) {
        counters->badFrames.fetch_add(1, std::memory_order_relaxed);
    }
    counters->sink.fetch_add(sum, std::memory_order_relaxed);
    counters->frames.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL OnAudioBuffer(void* user, const uint8_t* buffer, int32_t length,
                                int32_t /*positionMs*/, int32_t bitsPerSample, int32_t sampleRate,
                                int32_t channels) {
    auto* counters = static_cast<Counters*>(user);
    if (bitsPerSample != 16 || sampleRate != kSampleRate || channels != kChannels ||
        buffer == nullptr || length < 0) {
        counters->badBuffers.fetch_add(1, std::memory_order_relaxed);
    }
    const int32_t bytesPerFrame = 2 * (channels > 0 ? channels : 1);
    if (buffer != nullptr && length >= 2) {
        // A few samples from the start, the middle and the end of the buffer.
        uint64_t sum = 0;
        const int32_t samples = length / 2;
        for (int32_t index : {0, samples / 2, samples - 1}) {
            int16_t sample;
            std::memcpy(&sample, buffer + 2 * index, sizeof sample);
            sum += static_cast<uint16_t>(sample);
        }
        counters->sink.fetch_add(sum, std::memory_order_relaxed);
        counters->sampleFrames.fetch_add(length / bytesPerFrame, std::memory_order_relaxed);
    }
    return 0;
}

double Seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Adds a source and complains on stderr when the feed refuses it.
bool Add(FeedHandle feed, bool video, const std::string& path, int32_t startMs, int32_t stopMs) {
    const int32_t id = video ? FeedAddVideoSource(feed, path.c_str(), startMs, stopMs)
                             : FeedAddAudioSource(feed, path.c_str(), startMs, stopMs);
    if (id < 0) {
        std::fprintf(stderr, "feed_job_r: adding %s as %s refused: %s\n", path.c_str(),
                     video ? "video" : "audio", FeedGetErrorText(feed));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MEDIA_DIR   (A.mp4, B.mp4 and C.mp3 inside)\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::string a = dir + "/A.mp4";
    const std::string b = dir + "/B.mp4";
    const std::string c = dir + "/C.mp3";
    for (const std::string* path : {&a, &b, &c}) {
        if (std::FILE* file = std::fopen(path->c_str(), "rb")) {
            std::fclose(file);
        } else {
            std::fprintf(stderr, "feed_job_r: cannot open %s\n", path->c_str());
            return 2;
        }
    }

    FeedHandle feed = FeedCreate();
    if (feed == nullptr) {
        std::fprintf(stderr, "feed_job_r: FeedCreate failed\n");
        return 1;
    }
    Counters counters;

    bool ok = Add(feed, true, a, 0, 20000) && Add(feed, true, b, 5000, 25000) &&
              Add(feed, false, a, 0, 20000) && Add(feed, false, c, 0, 15000);
    if (ok) {
        ok = FeedSetVideoSize(feed, kWidth, kHeight) && FeedSetFrameRate(feed, kFramesPerSecond) &&
             FeedSetAudioSampleRate(feed, kSampleRate) && FeedSetAudioChannels(feed, kChannels);
        if (!ok) {
            std::fprintf(stderr, "feed_job_r: output format refused: %s\n", FeedGetErrorText(feed));
        }
    }
    if (!ok) {
        FeedDestroy(feed);
        return 1;
    }
    FeedSetVideoFade(feed, 1, 1000, 0x000000, 1, 1000, 0x000000);
    FeedSetAudioFade(feed, 1, 3000, 1, 3000);
    FeedSetVideoCallback(feed, OnVideoFrame, &counters);
    FeedSetAudioCallback(feed, OnAudioBuffer, &counters);

    const auto started = std::chrono::steady_clock::now();
    if (!FeedStart(feed)) {
        std::fprintf(stderr, "feed_job_r: FeedStart refused: %s\n", FeedGetErrorText(feed));
        FeedDestroy(feed);
        return 1;
    }
    bool timedOut = false;
    while (FeedGetState(feed) != FEED_STATE_IDLE) {
        if (std::chrono::steady_clock::now() - started > kGiveUpAfter) {
            timedOut = true;
            FeedStop(feed);
            break;
        }
        std::this_thread::sleep_for(kPollEvery);
    }
    const auto finished = std::chrono::steady_clock::now();
    FeedDestroy(feed);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double wall = std::chrono::duration<double>(finished - started).count();
    const double cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    const double maxRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is KiB

    const int64_t frames = counters.frames.load();
    const int64_t sampleFrames = counters.sampleFrames.load();
    std::printf("frames=%lld samples=%lld wall_s=%.2f cpu_s=%.2f maxrss_mib=%.0f\n",
                static_cast<long long>(frames), static_cast<long long>(sampleFrames), wall, cpu,
                maxRssMiB);
    std::fflush(stdout);

    bool good = true;
    if (timedOut) {
        std::fprintf(stderr, "feed_job_r: session still running after %lld s, stopped it\n",
                     static_cast<long long>(
                         std::chrono::duration_cast<std::chrono::seconds>(kGiveUpAfter).count()));
        good = false;
    }
    if (frames != kExpectedFrames || sampleFrames != kExpectedSampleFrames) {
        std::fprintf(
            stderr, "feed_job_r: got %lld frames and %lld sample frames, expected %lld and %lld\n",
            static_cast<long long>(frames), static_cast<long long>(sampleFrames),
            static_cast<long long>(kExpectedFrames), static_cast<long long>(kExpectedSampleFrames));
        good = false;
    }
    if (counters.badFrames.load() != 0 || counters.badBuffers.load() != 0) {
        std::fprintf(stderr,
                     "feed_job_r: %lld frames not %dx%d BGRX, %lld buffers not s16 %d Hz %d ch\n",
                     static_cast<long long>(counters.badFrames.load()), kWidth, kHeight,
                     static_cast<long long>(counters.badBuffers.load()), kSampleRate, kChannels);
        good = false;
    }
    return good ? 0 : 1;
}
