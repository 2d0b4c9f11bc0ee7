// fuzz_media: arbitrary bytes as a media file, opened and played through the engine.
//
// The bytes go to a temporary file of this process; SelectSources opens it, and every stream
// it finds becomes the one clip (at most 2 s) of a small composite (64x48 at 25 fps, or
// 8000 Hz mono) that is prepared, run until it ends or for at most 5 s, stopped and released.
// Any crash, leak, sanitizer report or hang is a finding.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "engine/EngineRef.h"

namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kUnitsPerMs = 10'000;
constexpr std::int32_t kMaxClipMs = 2000;
constexpr auto kPlayLimit = 5s;

std::string g_path;

struct Counter {
    std::atomic<std::int64_t> deliveries{0};
    std::atomic<std::int64_t> bytes{0};
    std::atomic<std::uint32_t> checksum{0};
    std::atomic<bool> sawNullFormat{false};
};

std::intptr_t TARN_CALL Count(void* context, const void* format, std::uint8_t* data,
                              std::int32_t length, std::int64_t, std::int64_t) {
    auto& counter = *static_cast<Counter*>(context);
    // Touch every byte, so that a delivery shorter than it claims is seen by the sanitizer.
    std::uint8_t sum = 0;
    for (std::int32_t i = 0; i < length; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
    }
    counter.checksum.fetch_add(sum);
    counter.bytes.fetch_add(length);
    counter.deliveries.fetch_add(1);
    if (format == nullptr) {
        counter.sawNullFormat.store(true);
    }
    return 0;
}

// One stream of the file as the only clip of a composite, played to its end or the limit.
void Play(IMediaSource* source, std::int32_t lengthMs, StreamKind kind) {
    EngineRef<IMediaSource> composite;
    if (CreateSimpleCompositeSource(nullptr, composite.put()) < 0) {
        return;
    }
    auto editor = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    if (!editor) {
        return;
    }
    if (kind == kStreamVideo) {
        editor->SetVideoFormat(64, 48, 25.0);
    } else {
        editor->SetAudioFormat(8000, 1);
    }
    const std::int32_t clipMs = lengthMs > 0 ? std::min(lengthMs, kMaxClipMs) : kMaxClipMs;
    const std::int64_t clipUnits = static_cast<std::int64_t>(clipMs) * kUnitsPerMs;
    const std::int32_t noCrop[4] = {-1, -1, -1, -1};
    if (editor->AddClip(source, noCrop, 0, 0, 0, clipUnits, 0, clipUnits) < 0) {
        return;
    }
    Counter counter;
    EngineRef<IMediaAcceptor> acceptor;
    if (CreateCallBackMediaAcceptor(nullptr, Count, &counter, acceptor.put()) < 0) {
        return;
    }
    auto connection =
        QueryEngineInterface<IAcceptorConnection>(editor.get(), IID_IAcceptorConnection);
    if (!connection || connection->ConnectAcceptor(acceptor.get()) < 0) {
        return;
    }
    if (composite->Prepare(nullptr, kind) < 0) {
        composite->Stop();
        return;
    }
    if (composite->Run() >= 0) {
        const auto until = std::chrono::steady_clock::now() + kPlayLimit;
        std::int32_t ended = 0;
        while (ended == 0 && std::chrono::steady_clock::now() < until) {
            if (composite->IsEnded(&ended) < 0) {
                break;
            }
            std::this_thread::sleep_for(2ms);
        }
    }
    composite->Stop();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    const char* dir = std::getenv("TMPDIR");
    g_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz_media." +
             std::to_string(static_cast<long>(getpid())) + ".bin";
    std::atexit([] { std::remove(g_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(g_path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "fuzz_media: cannot write %s\n", g_path.c_str());
        std::abort();
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "fuzz_media: cannot write %s\n", g_path.c_str());
        std::abort();
    }

    {
        EngineRef<IMediaSource> video;
        EngineRef<IMediaSource> audio;
        std::int32_t videoMs = -1;
        std::int32_t audioMs = -1;
        if (SelectSources(g_path.c_str(), video.put(), &videoMs, audio.put(), &audioMs) >= 0) {
            if (video) {
                Play(video.get(), videoMs, kStreamVideo);
            }
            if (audio) {
                Play(audio.get(), audioMs, kStreamAudio);
            }
        }
    }
    std::remove(g_path.c_str());
    return 0;
}
