// fake::Engine: the test's side of the fake engine (script, records, reset).
#include "tests/fake_engine/FakeEngine.h"

#include <utility>

#include "tests/fake_engine/FakeObjects.h"

namespace fake {

using detail::Composite;
using detail::State;
using detail::state;

Engine& Engine::instance() {
    static Engine instance;
    return instance;
}

void Engine::reset() {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);

    // First stop everything: the new generation fails any held call and keeps deliveries
    // still in a callback from recording into the fresh records.
    ++st.generation;
    st.blockStep.reset();
    st.blocked = false;
    std::vector<std::thread> threads;
    std::vector<Composite*> handedOver;
    for (Composite* composite : st.allComposites) {
        const std::size_t before = threads.size();
        composite->stopForReset(threads);
        if (threads.size() != before) {
            handedOver.push_back(composite);
        }
    }
    st.cv.notify_all();

    // Join without the mutex: a callback in progress may call into the fake.
    lock.unlock();
    for (std::thread& thread : threads) {
        thread.join();
    }
    lock.lock();
    for (Composite* composite : handedOver) {
        composite->joinedForReset();
    }
    st.cv.notify_all();
    // A library thread may still be inside Stop joining a delivery thread; let it finish.
    st.cv.wait(lock, [&st] {
        for (const Composite* composite : st.allComposites) {
            if (composite->joining()) {
                return false;
            }
        }
        return true;
    });

    // Then forget. The objects stay in memory so a stale call is a reported fault.
    for (auto& object : st.live) {
        object->retired = true;
        st.retired.push_back(std::move(object));
    }
    st.live.clear();
    st.files.clear();
    st.failures.clear();
    st.video = VideoSeries{};
    st.audio = AudioSeries{};
    st.pace = std::chrono::milliseconds(0);
    st.holdEnd = false;
    st.calls.clear();
    st.faults.clear();
    st.syncNotes.clear();
    st.videoReceived.clear();
    st.audioReceived.clear();
    st.isEndedCalls = 0;
    st.compositeCount = 0;
    st.sourceCount = 0;
    st.emptyCount = 0;
    st.acceptorCount = 0;
    st.syncCount = 0;
}

void Engine::addFile(const std::string& name, bool hasVideo, bool hasAudio) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.files[name] = detail::FileInfo{hasVideo, hasAudio};
}

void Engine::failNext(Step step) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    ++st.failures[step];
}

void Engine::setVideoSeries(VideoSeries series) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.video = std::move(series);
}

void Engine::setAudioSeries(AudioSeries series) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.audio = std::move(series);
}

void Engine::setPace(std::chrono::milliseconds perDelivery) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.pace = perDelivery;
}

void Engine::setHoldEnd(bool hold) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.holdEnd = hold;
}

void Engine::blockAt(Step step) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.blockStep = step;
}

void Engine::waitUntilBlocked() {
    if (!waitUntilBlocked(std::chrono::seconds(10))) {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        st.fault("no call reached the blockAt step within 10 s");
    }
}

bool Engine::waitUntilBlocked(std::chrono::milliseconds timeout) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    return st.cv.wait_for(lock, timeout, [&st] { return st.blocked; });
}

void Engine::release() {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.blockStep.reset();
    ++st.releases;
    st.cv.notify_all();
}

std::vector<std::string> Engine::calls() const {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.calls;
}

std::vector<std::string> Engine::faults() const {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    std::vector<std::string> result = st.faults;
    for (const auto& object : st.live) {
        if (object->refs > 0) {
            result.push_back(object->name() + " never released");
        }
        object->openFaults(result);
    }
    return result;
}

std::vector<std::string> Engine::syncNotifications() const {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.syncNotes;
}

std::vector<Received> Engine::videoReceived() const {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.videoReceived;
}

std::vector<Received> Engine::audioReceived() const {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.audioReceived;
}

bool Engine::waitForDeliveries(std::size_t video, std::size_t audio,
                               std::chrono::milliseconds timeout) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    return st.cv.wait_for(lock, timeout, [&] {
        return st.videoReceived.size() >= video && st.audioReceived.size() >= audio;
    });
}

int Engine::isEndedCalls() const {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.isEndedCalls;
}

}  // namespace fake
