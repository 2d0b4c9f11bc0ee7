#include "play/AudioOutput.h"

#include <cstring>

#include "console/Log.h"

namespace feedcat {
namespace {

// What the ring holds: enough to ride out a late buffer or two, little enough that what is
// heard follows a pause or a stop at once (the device's own buffer is all that still plays).
constexpr std::int32_t kRingMs = 250;

// The device's chunk: about 25 ms, a power of two as devices like it.
Uint16 ChunkFrames(std::int32_t rate) {
    Uint16 frames = 64;
    while (frames < 4096 && frames * 2 <= rate / 40) {
        frames = static_cast<Uint16>(frames * 2);
    }
    return frames;
}

}  // namespace

AudioOutput::~AudioOutput() {
    Close();
}

bool AudioOutput::Open(std::int32_t rate, std::int32_t channels, std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        *error = SDL_GetError();
        return false;
    }
    subsystem_ = true;
    rate_ = rate;
    channels_ = channels;
    frameBytes_ = 2 * static_cast<std::size_t>(channels);
    ring_ =
        std::make_unique<SampleRing>(static_cast<std::size_t>(rate) * kRingMs / 1000, frameBytes_);
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = ChunkFrames(rate);
    wanted.callback = OnDeviceWants;
    wanted.userdata = this;
    SDL_AudioSpec got{};
    // No changes allowed: SDL converts to whatever the device takes, so the callback always
    // sees the feed's own format.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
    if (device_ == 0) {
        *error = SDL_GetError();
        return false;
    }
    latencyMs_ = got.samples * 1000.0 / rate;
    Log(LogLevel::kVerbose, std::string("sound on SDL's ") + SDL_GetCurrentAudioDriver() +
                                " audio driver, " + std::to_string(rate) + " Hz, " +
                                std::to_string(got.samples) + " sample frames a chunk");
    clock_->FollowAudio(rate, got.samples);
    return true;
}

void AudioOutput::Hold(bool held) {
    if (device_ != 0) {
        SDL_PauseAudioDevice(device_, held ? 1 : 0);
    }
}

void AudioOutput::Close() {
    if (ring_) {
        ring_->Close();
    }
    if (device_ != 0) {
        SDL_PauseAudioDevice(device_, 1);
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
}

void SDLCALL AudioOutput::OnDeviceWants(void* user, Uint8* stream, int length) {
    auto* output = static_cast<AudioOutput*>(user);
    const auto now = PlaybackClock::TimePoint::clock::now();
    const std::size_t taken = output->ring_->Read(stream, static_cast<std::size_t>(length));
    if (output->muted_.load(std::memory_order_relaxed)) {
        std::memset(stream, 0, taken);
    }
    // The feed ran short (it is late, or it has ended): silence for the rest.
    std::memset(stream + taken, 0, static_cast<std::size_t>(length) - taken);
    const std::int64_t frames = static_cast<std::int64_t>(taken / output->frameBytes_);
    output->playedFrames_.fetch_add(frames, std::memory_order_relaxed);
    output->clock_->ChunkConsumed(frames, now);
}

}  // namespace feedcat
