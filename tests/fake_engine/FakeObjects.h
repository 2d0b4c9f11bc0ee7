// Internals of the fake engine: the state behind fake::Engine and the objects the five C
// functions hand out. Every field is guarded by State::mutex unless its comment says otherwise.
// The mutex is never held while a library callback runs or while a delivery thread is joined,
// so the library may call back into the fake from any thread at any time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/MediaEngine.h"
#include "tests/fake_engine/FakeEngine.h"

namespace fake::detail {

constexpr HRESULT kOk = 0;
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kPointer = static_cast<HRESULT>(0x80004003u);

// Bookkeeping shared by every object and tear-off the fake hands out.
class Tracked {
  public:
    explicit Tracked(std::string name) : name_(std::move(name)) {}
    virtual ~Tracked() = default;
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

    const std::string& name() const { return name_; }

    // The pointer the library holds, as IUnknown and as the object's own interface.
    virtual IUnknown* unknown() = 0;
    virtual void* interfacePointer() = 0;

    // What QueryInterface(iid) hands out (possibly this), or nullptr. Mutex held.
    virtual Tracked* answer(REFIID /*iid*/) { return nullptr; }

    // Protocol faults still open when faults() is asked (a composite still delivering).
    virtual void openFaults(std::vector<std::string>& /*out*/) const {}

    std::uint32_t refs = 0;  // external references only
    bool retired = false;    // forgotten by reset(); kept in memory until exit

  private:
    const std::string name_;  // immutable, read without the mutex
};

HRESULT queryInterface(Tracked& self, REFIID iid, void** object);
std::uint32_t addRef(Tracked& self);
std::uint32_t release(Tracked& self);

// What AddRef and Release return: ULONG on Windows, a 32-bit count elsewhere.
using RefCountResult = decltype(std::declval<IUnknown&>().AddRef());

// IUnknown on top of one engine interface; the counting lives in the free functions above.
template <typename Interface>
class Object : public Interface, public Tracked {
  public:
    using Tracked::Tracked;

    IUnknown* unknown() override { return this; }
    void* interfacePointer() override { return static_cast<Interface*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return queryInterface(*this, iid, object);
    }
    RefCountResult STDMETHODCALLTYPE AddRef() override { return addRef(*this); }
    RefCountResult STDMETHODCALLTYPE Release() override { return release(*this); }
};

struct FileInfo {
    bool video = false;
    bool audio = false;
};

class Acceptor;
class Composite;
class Connection;
class Editor;

struct State {
    ~State();  // joins whatever delivery threads are left at exit

    std::mutex mutex;
    std::condition_variable cv;  // every wait in the fake; notified on any change

    std::uint64_t generation = 0;  // bumped by reset(); lets held calls and deliveries notice

    // Script.
    std::map<std::string, FileInfo> files;
    std::map<Step, int> failures;  // pending failNext count per step
    VideoSeries video;
    AudioSeries audio;
    std::chrono::milliseconds pace{0};
    bool holdEnd = false;

    // blockAt: the armed step, whether a call waits at it, and a ticket bumped by release().
    std::optional<Step> blockStep;
    bool blocked = false;
    std::uint64_t releases = 0;

    // Records.
    std::vector<std::string> calls;
    std::vector<std::string> faults;
    std::vector<std::string> syncNotes;
    std::vector<Received> videoReceived;
    std::vector<Received> audioReceived;
    int isEndedCalls = 0;

    // Objects in creation order; the current generation's, then all earlier ones.
    std::vector<std::unique_ptr<Tracked>> live;
    std::vector<std::unique_ptr<Tracked>> retired;
    std::vector<Composite*> allComposites;  // live and retired, for joining their threads
    int compositeCount = 0;
    int sourceCount = 0;
    int emptyCount = 0;
    int acceptorCount = 0;
    int syncCount = 0;

    // Helpers; mutex held.
    void log(std::string line) { calls.push_back(std::move(line)); }
    void fault(std::string text) { faults.push_back(std::move(text)); }
    // Consumes one pending failNext for step.
    bool takeFailure(Step step);
    // Holds the call if step is armed. False when reset() ran meanwhile: the call must then
    // return a failure without touching its object or the records.
    bool waitIfBlocked(std::unique_lock<std::mutex>& lock, Step step);
    // Records misuse of an object. False when the object is from before reset().
    bool checkUse(const Tracked& object);
    // The live object behind an interface pointer the library passed in, or nullptr.
    Tracked* find(const void* unknown) const;
    // "none" for null, "?" for a pointer the fake never handed out (or from before reset()).
    std::string nameOf(const IUnknown* unknown) const;
    // Logs call, which names the object behind an argument: a failure when the argument is
    // none of the fake's objects of the kind asked for (object is null; kPointer for a null
    // argument), a fault when the object was released.
    HRESULT logArgumentCall(const Tracked* object, const void* argument, const std::string& call);
    // Takes a newly created object with the one reference its creator hands out, and logs
    // the creation; the interface pointer to hand out.
    void* handOut(std::unique_ptr<Tracked> object, const std::string& call);

    template <typename T>
    T* adopt(std::unique_ptr<T> object) {
        T* raw = object.get();
        live.push_back(std::move(object));
        return raw;
    }
};

State& state();

// The composite's delivery side, needed by reset() and faults().
class Composite final : public Object<IMediaSource> {
  public:
    explicit Composite(std::string name) : Object(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE Prepare(void* reserved, std::int32_t streamKind) override;
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetDuration(std::int64_t* duration) override;
    HRESULT STDMETHODCALLTYPE Seek(std::int64_t position) override;
    HRESULT STDMETHODCALLTYPE IsEnded(std::int32_t* ended) override;

    Tracked* answer(REFIID iid) override;
    void openFaults(std::vector<std::string>& out) const override;

    // Mutex held. Marks the composite stopped for reset() and hands over its delivery thread
    // to be joined, unless another thread is joining it or it is the calling thread.
    void stopForReset(std::vector<std::thread>& toJoin);
    // Mutex held. After reset() joined what stopForReset handed over.
    void joinedForReset() { joining_ = false; }
    bool joining() const { return joining_; }

    // Mutex held; used by the tear-offs.
    Connection* connection();
    void addClip(Tracked* source) { clips_.push_back(source); }
    void removeAllClips() { clips_.clear(); }
    void connect(Acceptor* acceptor) { acceptor_ = acceptor; }

  private:
    void deliver(std::uint64_t generation);  // body of the delivery thread

    Editor* editor_ = nullptr;  // tear-offs, created on first request
    Connection* connection_ = nullptr;
    std::vector<Tracked*> clips_;  // the composite's own references, not counted
    Acceptor* acceptor_ = nullptr;
    std::int32_t kind_ = -1;
    bool prepared_ = false;
    bool started_ = false;  // a delivery thread was started
    bool paused_ = false;
    bool stopped_ = false;       // Stop was called (or reset() stopped it)
    bool finished_ = false;      // nothing (more) to deliver: the series is done
    bool stopReturned_ = false;  // a Stop call returned: no callback may begin any more
    bool joining_ = false;       // a thread has taken delivery_ and is joining it
    std::thread delivery_;
    std::thread::id deliveryId_;  // kept after delivery_ is moved out for joining
};

}  // namespace fake::detail
