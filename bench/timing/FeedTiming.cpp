// feed_timing: what a host that plays in real time sees, and how soon pause and stop act.
//
//   feed_timing paced WIDTH HEIGHT FPS CLIP...   CLIP: [v:|a:]FILE@START_MS-STOP_MS
//   feed_timing control FILE                     pause and stop, on a fast host
//   feed_timing first FILE START_MS              from FeedStart to the first frame
//   feed_timing clips COUNT FILE                 a session of many short clips
//
// paced: plays the clips one after another (v: as a video source, a: as an audio source, no
// prefix as both) at the given
// frame size and rate, with a host that sleeps until each frame's and each buffer's due time
// (start + 200 ms head start + position). Prints how many frames came later than one frame
// interval after their due time, the latest one, and the gap between deliveries around each
// join as a host running as fast as it can sees it (a second, unpaced run).
//
// control: on FILE played as fast as the host can take it, 20 times: FeedPause, then how many
// frames and buffers reached the host after it returned; FeedStop from Running and from
// Paused, how long it took; the process's CPU time over 2 s of pause.
//
// first: 20 sessions of 2 s of FILE from START_MS (video and audio, 640x360): the time from
// FeedStart to the first frame's callback, median and largest.
//
// clips: one session of COUNT clips of each kind, 40 ms each from FILE (160x120 at 25 fps,
// 8,000 Hz mono: a frame per video clip), as fast as the host takes them: the time from
// FeedStart to Idle, three sessions, median.

#include <feed/feed.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kHeadStart = 200ms;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Clip {
    bool video = true;
    bool audio = true;
    std::string file;
    int32_t startMs = 0;
    int32_t stopMs = 0;
};

bool ParseClip(std::string text, Clip* clip) {
    if (text.rfind("v:", 0) == 0 || text.rfind("a:", 0) == 0) {
        clip->video = text[0] == 'v';
        clip->audio = text[0] == 'a';
        text = text.substr(2);
    }
    const std::size_t at = text.rfind('@');
    const std::size_t dash = text.rfind('-');
    if (at == std::string::npos || dash == std::string::npos || dash < at) {
        return false;
    }
    clip->file = text.substr(0, at);
    clip->startMs = std::atoi(text.substr(at + 1, dash - at - 1).c_str());
    clip->stopMs = std::atoi(text.substr(dash + 1).c_str());
    return clip->stopMs > clip->startMs;
}

struct PacedHost {
    bool paced = true;
    double frameIntervalMs = 40.0;
    Clock::time_point origin;  // when position 0 is due
    std::mutex mutex;
    std::vector<double> lateMs;            // per frame: how late it arrived (0 when on time)
    std::vector<Clock::time_point> times;  // per frame: when it arrived
    std::atomic<int64_t> sampleFrames{0};
};

// Sleeps until `positionMs` is due; returns how late the call came (0 when early).
double WaitUntilDue(const PacedHost& host, int32_t positionMs) {
    const Clock::time_point due = host.origin + std::chrono::milliseconds(positionMs);
    const Clock::time_point now = Clock::now();
    if (now < due) {
        std::this_thread::sleep_until(due);
        return 0.0;
    }
    return Ms(now - due);
}

intptr_t FEED_CALL PacedFrame(void* user, const uint8_t* frame, int32_t, int32_t positionMs,
                              int32_t, int32_t) {
    auto& host = *static_cast<PacedHost*>(user);
    const double late = host.paced ? WaitUntilDue(host, positionMs) : 0.0;
    const std::lock_guard<std::mutex> lock(host.mutex);
    host.lateMs.push_back(late);
    host.times.push_back(Clock::now());
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL PacedBuffer(void* user, const uint8_t*, int32_t length, int32_t positionMs,
                              int32_t, int32_t, int32_t channels) {
    auto& host = *static_cast<PacedHost*>(user);
    if (host.paced) {
        WaitUntilDue(host, positionMs);
    }
    host.sampleFrames += length / (2 * std::max(channels, 1));
    return 0;
}

void RunUntilIdle(FeedHandle feed) {
    while (FeedGetState(feed) != FEED_STATE_IDLE) {
        std::this_thread::sleep_for(5ms);
    }
}

int Paced(int32_t width, int32_t height, double fps, const std::vector<Clip>& clips) {
    std::vector<int32_t> joinsMs;  // timeline positions where a clip ends and the next begins
    int32_t lengthMs = 0;
    for (const Clip& clip : clips) {
        if (clip.video) {
            lengthMs += clip.stopMs - clip.startMs;
            joinsMs.push_back(lengthMs);
        }
    }
    if (!joinsMs.empty()) {
        joinsMs.pop_back();
    }

    for (const bool paced : {true, false}) {
        PacedHost host;
        host.paced = paced;
        host.frameIntervalMs = 1000.0 / fps;
        FeedHandle feed = FeedCreate();
        for (const Clip& clip : clips) {
            if (clip.video) {
                FeedAddVideoSource(feed, clip.file.c_str(), clip.startMs, clip.stopMs);
            }
            if (clip.audio) {
                FeedAddAudioSource(feed, clip.file.c_str(), clip.startMs, clip.stopMs);
            }
        }
        FeedSetVideoSize(feed, width, height);
        FeedSetFrameRate(feed, fps);
        FeedSetVideoCallback(feed, PacedFrame, &host);
        FeedSetAudioCallback(feed, PacedBuffer, &host);
        host.origin = Clock::now() + kHeadStart;
        if (FeedStart(feed) != 1) {
            std::fprintf(stderr, "feed_timing: %s\n", FeedGetErrorText(feed));
            return 1;
        }
        RunUntilIdle(feed);
        FeedDestroy(feed);

        const std::size_t frames = host.times.size();
        if (paced) {
            int late = 0;
            double worst = 0.0;
            std::size_t worstFrame = 0;
            for (std::size_t i = 0; i < frames; ++i) {
                late += host.lateMs[i] > host.frameIntervalMs ? 1 : 0;
                if (host.lateMs[i] > worst) {
                    worst = host.lateMs[i];
                    worstFrame = i;
                }
            }
            std::printf(
                "paced: frames=%zu sample_frames=%lld later_than_one_interval=%d "
                "latest_ms=%.1f (frame %zu)",
                frames, static_cast<long long>(host.sampleFrames.load()), late, worst, worstFrame);
            int listed = 0;
            for (std::size_t i = 0; i < frames && listed < 8; ++i) {
                if (host.lateMs[i] > host.frameIntervalMs) {
                    std::printf("%s%zu:%.0fms", listed++ == 0 ? " late:" : ",", i, host.lateMs[i]);
                }
            }
            std::printf("\n");
        } else {
            std::vector<double> gaps;
            for (std::size_t i = 1; i < frames; ++i) {
                gaps.push_back(Ms(host.times[i] - host.times[i - 1]));
            }
            std::vector<double> sorted = gaps;
            std::sort(sorted.begin(), sorted.end());
            const double median = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
            std::printf("fast: frames=%zu median_gap_ms=%.1f", frames, median);
            for (const int32_t joinMs : joinsMs) {
                // The first frame at or after the join, and the gap before it.
                const auto index = static_cast<std::size_t>(std::ceil(joinMs * fps / 1000.0));
                if (index > 0 && index < frames) {
                    std::printf(" gap_at_join_%dms=%.1f", joinMs, gaps[index - 1]);
                }
            }
            std::printf("\n");
        }
    }
    return 0;
}

struct FastHost {
    std::atomic<int> frames{0};
    std::atomic<int> buffers{0};
};

intptr_t FEED_CALL FastFrame(void* user, const uint8_t* frame, int32_t, int32_t, int32_t, int32_t) {
    ++static_cast<FastHost*>(user)->frames;
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL FastBuffer(void* user, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                             int32_t) {
    ++static_cast<FastHost*>(user)->buffers;
    return 0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct FirstFrame {
    std::atomic<bool> seen{false};
    Clock::time_point at;
};

intptr_t FEED_CALL NoteFirstFrame(void* user, const uint8_t* frame, int32_t, int32_t, int32_t,
                                  int32_t) {
    auto& first = *static_cast<FirstFrame*>(user);
    if (!first.seen) {
        first.at = Clock::now();
        first.seen = true;
    }
    return reinterpret_cast<intptr_t>(frame);
}

// From FeedStart to the first frame's callback, 20 times over, on FILE from START_MS.
int First(const std::string& file, int32_t startMs) {
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) {
        FirstFrame first;
        FeedHandle feed = FeedCreate();
        FeedAddVideoSource(feed, file.c_str(), startMs, startMs + 2000);
        FeedAddAudioSource(feed, file.c_str(), startMs, startMs + 2000);
        FeedSetVideoSize(feed, 640, 360);
        FeedSetFrameRate(feed, 25.0);
        FeedSetVideoCallback(feed, NoteFirstFrame, &first);
        const Clock::time_point started = Clock::now();
        FeedStart(feed);
        while (!first.seen && FeedGetState(feed) != FEED_STATE_IDLE) {
            std::this_thread::sleep_for(1ms);
        }
        if (first.seen) {
            latencies.push_back(Ms(first.at - started));
        }
        FeedDestroy(feed);
    }
    if (latencies.empty()) {
        std::fprintf(stderr, "feed_timing: no frame came\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("first: median_ms=%.1f max_ms=%.1f (%zu sessions)\n",
                latencies[latencies.size() / 2], latencies.back(), latencies.size());
    return 0;
}

// COUNT 40 ms clips of FILE on each timeline, from FeedStart to Idle, three times over.
int Clips(int count, const std::string& file) {
    std::vector<double> seconds;
    for (int run = 0; run < 3; ++run) {
        FastHost host;
        FeedHandle feed = FeedCreate();
        FeedSetVideoCallback(feed, FastFrame, &host);
        FeedSetAudioCallback(feed, FastBuffer, &host);
        FeedSetVideoSize(feed, 160, 120);
        FeedSetFrameRate(feed, 25.0);
        FeedSetAudioSampleRate(feed, 8000);
        FeedSetAudioChannels(feed, 1);
        for (int i = 0; i < count; ++i) {
            const int32_t startMs = (i * 40) % 1400;
            FeedAddVideoSource(feed, file.c_str(), startMs, startMs + 40);
            FeedAddAudioSource(feed, file.c_str(), startMs, startMs + 40);
        }
        const Clock::time_point started = Clock::now();
        FeedStart(feed);
        RunUntilIdle(feed);
        seconds.push_back(Ms(Clock::now() - started) / 1000.0);
        FeedDestroy(feed);
        if (host.frames.load() != count) {
            std::fprintf(stderr, "feed_timing: %d frames for %d clips\n", host.frames.load(),
                         count);
            return 1;
        }
    }
    std::printf("clips: count=%d median_s=%.2f (3 sessions)\n", count, Median(seconds));
    return 0;
}

int Control(const std::string& file) {
    constexpr int kTries = 20;
    FastHost host;
    FeedHandle feed = FeedCreate();
    FeedAddVideoSource(feed, file.c_str(), 0, 600000);
    FeedAddAudioSource(feed, file.c_str(), 0, 600000);
    FeedSetVideoSize(feed, 640, 360);
    FeedSetFrameRate(feed, 25.0);
    FeedSetVideoCallback(feed, FastFrame, &host);
    FeedSetAudioCallback(feed, FastBuffer, &host);

    std::vector<double> afterPause;
    double cpuPaused = 0.0;
    FeedStart(feed);
    for (int i = 0; i < kTries; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + 10 * i));
        FeedPause(feed);
        const int frames = host.frames;
        const int buffers = host.buffers;
        if (i == 0) {
            const double before = CpuSeconds();
            std::this_thread::sleep_for(2s);
            cpuPaused = CpuSeconds() - before;
        } else {
            std::this_thread::sleep_for(300ms);
        }
        afterPause.push_back(host.frames - frames + host.buffers - buffers);
        FeedStart(feed);
    }
    FeedStop(feed);

    std::vector<double> stopRunning;
    std::vector<double> stopPaused;
    for (int i = 0; i < kTries; ++i) {
        const bool paused = i % 2 == 1;
        FeedStart(feed);
        std::this_thread::sleep_for(300ms);
        if (paused) {
            FeedPause(feed);
            std::this_thread::sleep_for(50ms);
        }
        const Clock::time_point before = Clock::now();
        FeedStop(feed);
        (paused ? stopPaused : stopRunning).push_back(Ms(Clock::now() - before));
    }
    FeedDestroy(feed);
    std::printf("pause: deliveries_after_return median=%.0f max=%.0f (%d tries)\n",
                Median(afterPause), *std::max_element(afterPause.begin(), afterPause.end()),
                kTries);
    std::printf(
        "stop: from_running median_ms=%.1f max_ms=%.1f from_paused median_ms=%.1f "
        "max_ms=%.1f\n",
        Median(stopRunning), *std::max_element(stopRunning.begin(), stopRunning.end()),
        Median(stopPaused), *std::max_element(stopPaused.begin(), stopPaused.end()));
    std::printf("paused: cpu_ms_per_s=%.1f\n", cpuPaused * 1000.0 / 2.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "paced" && argc >= 6) {
        std::vector<Clip> clips;
        for (int i = 5; i < argc; ++i) {
            Clip clip;
            if (!ParseClip(argv[i], &clip)) {
                std::fprintf(stderr, "feed_timing: bad clip '%s' (FILE@START_MS-STOP_MS)\n",
                             argv[i]);
                return 2;
            }
            clips.push_back(clip);
        }
        return Paced(std::atoi(argv[2]), std::atoi(argv[3]), std::atof(argv[4]), clips);
    }
    if (mode == "first" && argc == 4) {
        return First(argv[2], std::atoi(argv[3]));
    }
    if (mode == "clips" && argc == 4 && std::atoi(argv[2]) > 0) {
        return Clips(std::atoi(argv[2]), argv[3]);
    }
    if (mode == "control" && argc == 3) {
        return Control(argv[2]);
    }
    std::fprintf(stderr,
                 "usage: %s paced WIDTH HEIGHT FPS FILE@START_MS-STOP_MS...\n"
                 "       %s control FILE\n"
                 "       %s first FILE START_MS\n"
                 "       %s clips COUNT FILE\n",
                 argv[0], argv[0], argv[0], argv[0]);
    return 2;
}
