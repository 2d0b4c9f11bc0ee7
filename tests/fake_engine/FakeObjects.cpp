// The objects the fake engine hands out, and the engine's five C functions.
#include "tests/fake_engine/FakeObjects.h"

#include <cstdio>
#include <utility>

namespace fake::detail {

namespace {

std::string iidLabel(REFIID iid) {
    if (iid == IID_ICompositeEdit) {
        return "ICompositeEdit";
    }
    if (iid == IID_IAcceptorConnection) {
        return "IAcceptorConnection";
    }
    return "other";
}

std::optional<Step> iidStep(REFIID iid) {
    if (iid == IID_ICompositeEdit) {
        return Step::QueryCompositeEdit;
    }
    if (iid == IID_IAcceptorConnection) {
        return Step::QueryAcceptorConnection;
    }
    return std::nullopt;
}

const char* failSuffix(bool fails) {
    return fails ? " -> fail" : "";
}

}  // namespace

// ---- State ----

State& state() {
    static State instance;
    return instance;
}

State::~State() {
    // Exit without a final reset(): stop what still delivers so no std::thread is destroyed
    // joinable. Runs on the exiting thread, which is never a delivery thread.
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++generation;
        for (Composite* composite : allComposites) {
            composite->stopForReset(threads);
        }
        cv.notify_all();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

bool State::takeFailure(Step step) {
    auto it = failures.find(step);
    if (it == failures.end() || it->second == 0) {
        return false;
    }
    --it->second;
    return true;
}

bool State::waitIfBlocked(std::unique_lock<std::mutex>& lock, Step step) {
    if (!blockStep || *blockStep != step) {
        return true;
    }
    blockStep.reset();
    const std::uint64_t generationAtBlock = generation;
    const std::uint64_t ticket = releases;
    blocked = true;
    cv.notify_all();
    cv.wait(lock, [&] { return releases != ticket || generation != generationAtBlock; });
    if (generation != generationAtBlock) {
        return false;  // reset() cleared blocked already and may have armed a new block
    }
    blocked = false;
    cv.notify_all();
    return true;
}

bool State::checkUse(const Tracked& object) {
    if (object.retired) {
        fault(object.name() + " used after reset");
        return false;
    }
    if (object.refs == 0) {
        fault(object.name() + " used after release");
    }
    return true;
}

Tracked* State::find(const void* unknown) const {
    if (unknown == nullptr) {
        return nullptr;
    }
    for (const auto& object : live) {
        if (object->unknown() == unknown) {
            return object.get();
        }
    }
    return nullptr;
}

std::string State::nameOf(const IUnknown* unknown) const {
    if (unknown == nullptr) {
        return "none";
    }
    const Tracked* object = find(unknown);
    return object != nullptr ? object->name() : "?";
}

HRESULT State::logArgumentCall(const Tracked* object, const void* argument,
                               const std::string& call) {
    if (object == nullptr) {
        log(call + " -> fail");
        return argument == nullptr ? kPointer : kFail;
    }
    if (object->refs == 0) {
        fault(object->name() + " used after release");
    }
    log(call);
    return kOk;
}

void* State::handOut(std::unique_ptr<Tracked> object, const std::string& call) {
    Tracked* created = adopt(std::move(object));
    created->refs = 1;
    log(call + " -> " + created->name());
    return created->interfacePointer();
}

// ---- IUnknown ----

HRESULT queryInterface(Tracked& self, REFIID iid, void** object) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    if (object != nullptr) {
        *object = nullptr;
    }
    if (!st.checkUse(self)) {
        return kFail;
    }
    const std::optional<Step> step = iidStep(iid);
    if (step && !st.waitIfBlocked(lock, *step)) {
        return kFail;
    }
    const std::string call = self.name() + ".QueryInterface(" + iidLabel(iid) + ") -> ";
    const bool injected = step && st.takeFailure(*step);
    if (object == nullptr) {
        st.log(call + "fail");
        return kPointer;
    }
    if (injected) {
        st.log(call + "fail");
        return kFail;
    }
    Tracked* target = self.answer(iid);
    if (target == nullptr) {
        st.log(call + "fail");
        return kNoInterface;
    }
    ++target->refs;
    *object = target->interfacePointer();
    st.log(call + target->name());
    return kOk;
}

std::uint32_t addRef(Tracked& self) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (!st.checkUse(self)) {
        return 0;
    }
    st.log(self.name() + ".AddRef");
    return ++self.refs;
}

std::uint32_t release(Tracked& self) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (self.retired) {
        st.fault(self.name() + " used after reset");
        return 0;
    }
    st.log(self.name() + ".Release");
    if (self.refs == 0) {
        st.fault(self.name() + " released too often");
        return 0;
    }
    return --self.refs;
}

namespace {

// A call that logs itself (self's name, then call) and then does `then`, the mutex held; a
// failure on an object from before reset().
template <typename Then>
HRESULT loggedCall(Tracked& self, const std::string& call, Then then) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (!st.checkUse(self)) {
        return kFail;
    }
    st.log(self.name() + call);
    then();
    return kOk;
}

HRESULT loggedCall(Tracked& self, const std::string& call) {
    return loggedCall(self, call, [] {});
}

// IsEnded: counted, not logged (it is polled). answer(st, *ended) sets the flag and gives the
// result, the mutex held.
template <typename Answer>
HRESULT isEndedCall(Tracked& self, std::int32_t* ended, Answer answer) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (!st.checkUse(self)) {
        return kFail;
    }
    ++st.isEndedCalls;
    if (ended == nullptr) {
        return kPointer;
    }
    return answer(st, *ended);
}

}  // namespace

// ---- Sources from SelectSources and CreateEmptySource: they only log ----

class Source final : public Object<IMediaSource> {
  public:
    explicit Source(std::string name) : Object(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE Prepare(void* /*reserved*/, std::int32_t streamKind) override {
        State& st = state();
        std::unique_lock<std::mutex> lock(st.mutex);
        if (!st.checkUse(*this) || !st.waitIfBlocked(lock, Step::PrepareSource)) {
            return kFail;
        }
        const bool fails = st.takeFailure(Step::PrepareSource);
        st.log(name() + ".Prepare(" + std::to_string(streamKind) + ")" + failSuffix(fails));
        return fails ? kFail : kOk;
    }
    HRESULT STDMETHODCALLTYPE Run() override { return loggedCall(*this, ".Run"); }
    HRESULT STDMETHODCALLTYPE Pause() override { return loggedCall(*this, ".Pause"); }
    HRESULT STDMETHODCALLTYPE Stop() override { return loggedCall(*this, ".Stop"); }
    HRESULT STDMETHODCALLTYPE GetDuration(std::int64_t* duration) override {
        if (duration != nullptr) {
            *duration = 0;
        }
        return loggedCall(*this, ".GetDuration");
    }
    HRESULT STDMETHODCALLTYPE Seek(std::int64_t position) override {
        return loggedCall(*this, ".Seek(" + std::to_string(position) + ")");
    }
    HRESULT STDMETHODCALLTYPE IsEnded(std::int32_t* ended) override {
        return isEndedCall(*this, ended, [](State&, std::int32_t& answer) {
            answer = 0;  // a bare source never delivers by itself
            return kOk;
        });
    }
};

// ---- Acceptor and sync ----

class Acceptor final : public Object<IMediaAcceptor> {
  public:
    Acceptor(std::string name, AcceptorCallback callback, void* context)
        : Object(std::move(name)), callback(callback), context(context) {}

    // Fixed at creation; the delivery threads read them without the mutex.
    const AcceptorCallback callback;
    void* const context;
};

class Sync final : public Object<IAudioVideoSync> {
  public:
    explicit Sync(std::string name) : Object(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE AttachAcceptors(void* /*reserved1*/, void* /*reserved2*/,
                                              IMediaAcceptor* video, void* /*reserved3*/,
                                              void* /*reserved4*/, IMediaAcceptor* audio) override {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.checkUse(*this)) {
            return kFail;
        }
        for (IMediaAcceptor* acceptor : {video, audio}) {
            const Tracked* object = st.find(static_cast<IUnknown*>(acceptor));
            if (object != nullptr && object->refs == 0) {
                st.fault(object->name() + " used after release");
            }
        }
        st.log(name() + ".AttachAcceptors(" + st.nameOf(video) + ", " + st.nameOf(audio) + ")");
        return kOk;
    }
    // Called from the library's callbacks on the delivery threads: they only record.
    HRESULT STDMETHODCALLTYPE NotifyVideoTime(std::int64_t start) override {
        return notify(" video ", start);
    }
    HRESULT STDMETHODCALLTYPE NotifyAudioTime(std::int64_t start) override {
        return notify(" audio ", start);
    }

  private:
    HRESULT notify(const char* kind, std::int64_t start) {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.checkUse(*this)) {
            return kFail;
        }
        st.syncNotes.push_back(name() + kind + std::to_string(start));
        return kOk;
    }
};

// ---- The composite's tear-offs ----

class Connection final : public Object<IAcceptorConnection> {
  public:
    Connection(std::string name, Composite& composite)
        : Object(std::move(name)), composite_(composite) {}

    Tracked* answer(REFIID iid) override { return iid == IID_IAcceptorConnection ? this : nullptr; }

    HRESULT STDMETHODCALLTYPE ConnectAcceptor(IMediaAcceptor* acceptor) override {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.checkUse(*this)) {
            return kFail;
        }
        auto* target = dynamic_cast<Acceptor*>(st.find(static_cast<IUnknown*>(acceptor)));
        const HRESULT result = st.logArgumentCall(
            target, acceptor, name() + ".ConnectAcceptor(" + st.nameOf(acceptor) + ")");
        if (result == kOk) {
            composite_.connect(target);  // the composite's own reference, not counted
        }
        return result;
    }

  private:
    Composite& composite_;  // kept alive by the tear-off; never freed before exit
};

class Editor final : public Object<ICompositeEdit> {
  public:
    Editor(std::string name, Composite& composite)
        : Object(std::move(name)), composite_(composite) {}

    Tracked* answer(REFIID iid) override {
        if (iid == IID_ICompositeEdit) {
            return this;
        }
        if (iid == IID_IAcceptorConnection) {
            return composite_.connection();
        }
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE SetVideoFormat(std::int32_t width, std::int32_t height,
                                             double framesPerSecond) override {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%g", framesPerSecond);
        return loggedCall(*this, ".SetVideoFormat(" + std::to_string(width) + ", " +
                                     std::to_string(height) + ", " + rate + ")");
    }
    HRESULT STDMETHODCALLTYPE SetAudioFormat(std::int32_t sampleRate,
                                             std::int32_t channels) override {
        return loggedCall(*this, ".SetAudioFormat(" + std::to_string(sampleRate) + ", " +
                                     std::to_string(channels) + ")");
    }
    HRESULT STDMETHODCALLTYPE RemoveAllClips() override {
        return loggedCall(*this, ".RemoveAllClips", [this] { composite_.removeAllClips(); });
    }
    HRESULT STDMETHODCALLTYPE AddClip(IMediaSource* source, const std::int32_t* crop,
                                      std::int32_t clipMode, std::int32_t clipParam,
                                      std::int64_t sourceStart, std::int64_t sourceStop,
                                      std::int64_t timelineStart,
                                      std::int64_t timelineStop) override {
        State& st = state();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.checkUse(*this)) {
            return kFail;
        }
        // The crop values are read now, as the engine does; the caller's array may go away.
        std::string cropText = "null";
        if (crop != nullptr) {
            cropText = "{" + std::to_string(crop[0]) + ", " + std::to_string(crop[1]) + ", " +
                       std::to_string(crop[2]) + ", " + std::to_string(crop[3]) + "}";
        }
        Tracked* clip = st.find(static_cast<IUnknown*>(source));
        const std::string call = name() + ".AddClip(" + st.nameOf(source) + ", " + cropText + ", " +
                                 std::to_string(clipMode) + ", " + std::to_string(clipParam) +
                                 ", " + std::to_string(sourceStart) + ", " +
                                 std::to_string(sourceStop) + ", " + std::to_string(timelineStart) +
                                 ", " + std::to_string(timelineStop) + ")";
        const HRESULT result = st.logArgumentCall(clip, source, call);
        if (result == kOk) {
            composite_.addClip(clip);  // the composite's own reference, not counted
        }
        return result;
    }

  private:
    Composite& composite_;  // kept alive by the tear-off; never freed before exit
};

// ---- Composite ----

Tracked* Composite::answer(REFIID iid) {
    if (!(iid == IID_ICompositeEdit)) {
        return nullptr;
    }
    if (editor_ == nullptr) {
        editor_ = state().adopt(std::make_unique<Editor>(name() + "/edit", *this));
    }
    return editor_;
}

Connection* Composite::connection() {
    if (connection_ == nullptr) {
        connection_ = state().adopt(std::make_unique<Connection>(name() + "/conn", *this));
    }
    return connection_;
}

HRESULT Composite::Prepare(void* /*reserved*/, std::int32_t streamKind) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    if (!st.checkUse(*this)) {
        return kFail;
    }
    const bool known = streamKind == kStreamVideo || streamKind == kStreamAudio;
    const Step step = streamKind == kStreamVideo ? Step::PrepareVideo : Step::PrepareAudio;
    if (known && !st.waitIfBlocked(lock, step)) {
        return kFail;
    }
    const bool fails = !known || st.takeFailure(step);
    st.log(name() + ".Prepare(" + std::to_string(streamKind) + ")" + failSuffix(fails));
    if (fails) {
        return kFail;
    }
    kind_ = streamKind;
    prepared_ = true;
    return kOk;
}

HRESULT Composite::Run() {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (!st.checkUse(*this)) {
        return kFail;
    }
    if (stopped_) {
        st.log(name() + ".Run");  // a stopped composite never delivers again
        return kOk;
    }
    if (!prepared_) {
        st.fault(name() + ".Run before Prepare");
        st.log(name() + ".Run -> fail");
        finished_ = true;  // nothing will come, so a polling worker is not kept waiting
        return kFail;
    }
    st.log(name() + ".Run");
    paused_ = false;
    if (!started_) {
        if (acceptor_ == nullptr) {
            finished_ = true;  // nowhere to deliver to: ended at once
        } else {
            started_ = true;
            finished_ = false;
            // The new thread starts by taking the mutex, so it sees deliveryId_ set.
            delivery_ = std::thread(&Composite::deliver, this, st.generation);
            deliveryId_ = delivery_.get_id();
        }
    }
    st.cv.notify_all();
    return kOk;
}

HRESULT Composite::Pause() {
    return loggedCall(*this, ".Pause", [this] {
        if (!stopped_) {
            paused_ =
                true;  // the delivery thread checks this, under the mutex, before each callback
        }
    });
}

HRESULT Composite::Stop() {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    if (!st.checkUse(*this)) {
        return kFail;
    }
    st.log(name() + ".Stop");
    stopped_ = true;
    st.cv.notify_all();  // cuts short a pace wait or a pause
    if (started_ && std::this_thread::get_id() == deliveryId_) {
        // Called from inside a callback on the delivery thread: joining would wait for
        // ourselves. The loop sees stopped_ when this callback returns and starts no other.
        stopReturned_ = true;
        return kOk;
    }
    if (delivery_.joinable()) {
        // Join without the mutex: the thread needs it to finish, and the callback in progress
        // may call into the fake from this or any other thread.
        std::thread thread = std::move(delivery_);
        joining_ = true;
        lock.unlock();
        thread.join();
        lock.lock();
        joining_ = false;
        deliveryId_ = std::thread::id();
        st.cv.notify_all();
    } else {
        // Another Stop (or reset()) is joining: return only once it is done.
        st.cv.wait(lock, [this] { return !joining_; });
    }
    stopReturned_ = true;
    return kOk;
}

HRESULT Composite::GetDuration(std::int64_t* duration) {
    return loggedCall(*this, ".GetDuration", [duration] {
        if (duration != nullptr) {
            *duration = 0;
        }
    });
}

HRESULT Composite::Seek(std::int64_t position) {
    return loggedCall(*this, ".Seek(" + std::to_string(position) + ")");
}

HRESULT Composite::IsEnded(std::int32_t* ended) {
    return isEndedCall(*this, ended, [this](State& st, std::int32_t& answer) {
        answer = finished_ && (!st.holdEnd || stopped_) ? 1 : 0;
        return answer != 0 && st.takeFailure(fake::Step::EndByFailure) ? kEndedByFailure : kOk;
    });
}

void Composite::openFaults(std::vector<std::string>& out) const {
    if (started_ && !stopped_ && !finished_) {
        out.push_back(name() + " never stopped");
    }
}

void Composite::stopForReset(std::vector<std::thread>& toJoin) {
    stopped_ = true;
    if (delivery_.joinable() && std::this_thread::get_id() != deliveryId_) {
        toJoin.push_back(std::move(delivery_));
        joining_ = true;
    }
}

void Composite::deliver(std::uint64_t generation) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    const bool video = kind_ == kStreamVideo;
    const VideoSeries videoSeries = video ? st.video : VideoSeries{};
    const AudioSeries audioSeries = video ? AudioSeries{} : st.audio;
    const std::vector<Delivery>& items = video ? videoSeries.frames : audioSeries.buffers;

    bool completed = true;
    for (const Delivery& item : items) {
        const std::chrono::milliseconds pace = st.pace;
        if (pace.count() > 0) {
            st.cv.wait_for(lock, pace, [this] { return stopped_; });
        }
        st.cv.wait(lock, [this] { return stopped_ || !paused_; });
        if (stopped_) {
            completed = false;
            break;
        }
        if (stopReturned_) {
            st.fault(name() + " delivered after Stop");  // guards the fake's own promise
        }
        const Acceptor* acceptor = acceptor_;
        lock.unlock();

        // The callback runs without the mutex: it may call into the library, which may call
        // the fake from this thread or wait for another thread that does.
        std::vector<std::uint8_t> data = item.bytes;
        const auto length = static_cast<std::int32_t>(data.size());
        std::intptr_t result = 0;
        if (video) {
            BITMAPINFOHEADER format{};
            format.biSize = sizeof(BITMAPINFOHEADER);
            format.biWidth = videoSeries.width;
            format.biHeight = videoSeries.height;
            format.biPlanes = 1;
            format.biBitCount = 32;
            format.biSizeImage = static_cast<std::uint32_t>(length);
            result = acceptor->callback(acceptor->context, &format, data.data(), length, item.start,
                                        item.duration);
        } else {
            WAVEFORMATEX format{};
            format.wFormatTag = 1;
            format.nChannels = audioSeries.channels;
            format.nSamplesPerSec = audioSeries.sampleRate;
            format.wBitsPerSample = audioSeries.bitsPerSample;
            format.nBlockAlign =
                static_cast<std::uint16_t>(audioSeries.channels * audioSeries.bitsPerSample / 8);
            format.nAvgBytesPerSec = audioSeries.sampleRate * format.nBlockAlign;
            format.cbSize = 0;
            result = acceptor->callback(acceptor->context, &format, data.data(), length, item.start,
                                        item.duration);
        }

        lock.lock();
        if (st.generation == generation) {  // a reset() meanwhile starts the records afresh
            (video ? st.videoReceived : st.audioReceived)
                .push_back(Received{result, std::move(data), item.start});
        }
        st.cv.notify_all();
    }
    if (completed) {
        finished_ = true;
    }
    st.cv.notify_all();
}

}  // namespace fake::detail

// ---- The engine's C functions ----

using namespace fake::detail;

namespace {

// The start of an engine function that creates an object into *out: clears *out, holds at step
// when it is armed, takes an injected failure. kOk when the object is to be made; kFail when
// reset() ran while the call was held or the failure was injected; for a null out or another
// missing argument, missingResult. Injected and missing are logged as "function -> fail".
template <typename T>
HRESULT beginCreate(State& st, std::unique_lock<std::mutex>& lock, fake::Step step, T** out,
                    bool argumentsGiven, const char* function, HRESULT missingResult) {
    if (out != nullptr) {
        *out = nullptr;
    }
    if (!st.waitIfBlocked(lock, step)) {
        return kFail;
    }
    const bool injected = st.takeFailure(step);
    const bool missing = out == nullptr || !argumentsGiven;
    if (injected || missing) {
        st.log(std::string(function) + " -> fail");
        return missing ? missingResult : kFail;
    }
    return kOk;
}

}  // namespace

extern "C" {

TARN_API HRESULT TARN_CALL CreateSimpleCompositeSource(void* /*reserved*/,
                                                       IMediaSource** composite) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    const HRESULT begun = beginCreate(st, lock, fake::Step::CreateComposite, composite, true,
                                      "CreateSimpleCompositeSource", kPointer);
    if (begun != kOk) {
        return begun;
    }
    Composite* created =
        st.adopt(std::make_unique<Composite>("C" + std::to_string(++st.compositeCount)));
    st.allComposites.push_back(created);
    created->refs = 1;
    *composite = created;
    st.log("CreateSimpleCompositeSource -> " + created->name());
    return kOk;
}

TARN_API HRESULT TARN_CALL CreateEmptySource(void* /*reserved*/, IMediaSource** source) {
    State& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (source == nullptr) {
        st.log("CreateEmptySource -> fail");
        return kPointer;
    }
    *source = static_cast<IMediaSource*>(st.handOut(
        std::make_unique<Source>("X" + std::to_string(++st.emptyCount)), "CreateEmptySource"));
    return kOk;
}

TARN_API HRESULT TARN_CALL SelectSources(const char* fileName, IMediaSource** video,
                                         std::int32_t* videoLengthMs, IMediaSource** audio,
                                         std::int32_t* audioLengthMs) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    if (video != nullptr) {
        *video = nullptr;
    }
    if (audio != nullptr) {
        *audio = nullptr;
    }
    if (videoLengthMs != nullptr) {
        *videoLengthMs = -1;
    }
    if (audioLengthMs != nullptr) {
        *audioLengthMs = -1;
    }
    if (!st.waitIfBlocked(lock, fake::Step::SelectSources)) {
        return kFail;
    }
    const std::string call = fileName == nullptr
                                 ? std::string("SelectSources(null)")
                                 : "SelectSources(\"" + std::string(fileName) + "\")";
    const bool injected = st.takeFailure(fake::Step::SelectSources);
    const auto file = fileName == nullptr ? st.files.end() : st.files.find(fileName);
    if (injected || file == st.files.end() || video == nullptr || audio == nullptr) {
        st.log(call + " -> fail");
        // A name never added is a file that does not exist, as the real engine says it.
        return injected || video == nullptr || audio == nullptr ? kFail : kOpenNotFound;
    }
    // Video part first, so it gets the lower number.
    std::string names;
    for (IMediaSource** slot : {video, audio}) {
        const bool present = slot == video ? file->second.video : file->second.audio;
        if (!names.empty()) {
            names += ", ";
        }
        if (!present) {
            names += "none";
            continue;
        }
        Tracked* created =
            st.adopt(std::make_unique<Source>("S" + std::to_string(++st.sourceCount)));
        created->refs = 1;
        *slot = static_cast<IMediaSource*>(created->interfacePointer());
        names += created->name();
    }
    st.log(call + " -> " + names);
    return kOk;
}

TARN_API HRESULT TARN_CALL CreateCallBackMediaAcceptor(void* /*reserved*/,
                                                       AcceptorCallback callback, void* context,
                                                       IMediaAcceptor** acceptor) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    const HRESULT begun = beginCreate(st, lock, fake::Step::CreateAcceptor, acceptor,
                                      callback != nullptr, "CreateCallBackMediaAcceptor", kFail);
    if (begun != kOk) {
        return begun;
    }
    *acceptor = static_cast<IMediaAcceptor*>(st.handOut(
        std::make_unique<Acceptor>("A" + std::to_string(++st.acceptorCount), callback, context),
        "CreateCallBackMediaAcceptor"));
    return kOk;
}

TARN_API HRESULT TARN_CALL CreateAudioVideoSync(void* /*reserved*/, IAudioVideoSync** sync) {
    State& st = state();
    std::unique_lock<std::mutex> lock(st.mutex);
    const HRESULT begun =
        beginCreate(st, lock, fake::Step::CreateSync, sync, true, "CreateAudioVideoSync", kFail);
    if (begun != kOk) {
        return begun;
    }
    *sync = static_cast<IAudioVideoSync*>(st.handOut(
        std::make_unique<Sync>("Y" + std::to_string(++st.syncCount)), "CreateAudioVideoSync"));
    return kOk;
}

}  // extern "C"
