// fuzz_feed_api: the input is a sequence of exported calls with their arguments, run on a
// feed over the scripted fake engine and checked after every call against a small model of
// the feed: the ids, the sources and their times as they read back, the session state, each
// call's result, and the last report (FeedGetErrorCode / FeedGetErrorText).
//
// Input format. One byte picks the call (its value modulo kCallCount, see enum Call); its
// arguments follow, one byte each: a value below 0xF0 picks from a small table, a value of
// 0xF0 or more takes the next four bytes as a raw little-endian value. Missing bytes read
// as 0. At most kMaxCalls calls run per input.
//
// A session may end on its own at any moment, so once one has started the model holds
// "Running (or Paused), or Idle if it has ended": a call whose outcome depends on the state
// is checked against both, and the model follows the one that matches. A mismatch aborts with
// the rule that was broken.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <feed/feed.h>

#include "tests/fake_engine/FakeEngine.h"

namespace {

constexpr const char* kWrongState =
    "Can not perform the operation when the object in current context";
constexpr const char* kNoInput = "No inut file";
constexpr const char* kBadId = "Source index invalid";
constexpr const char* kBadTimes = "Start time or Stop time invalid";
constexpr const char* kBadWidth = "Bad video width";
constexpr const char* kBadHeight = "Bad video height";
constexpr const char* kBadChannels = "Bad audio channel";
constexpr const char* kTooManyChannels = "Audio channels exeed 3 not supported yet";

constexpr int kMaxCalls = 64;
constexpr auto kWaitBudget = std::chrono::milliseconds(1500);

enum Call : std::uint8_t {
    kAddVideo,
    kAddVideoEx,
    kAddAudio,
    kRemove,
    kClear,
    kSetTimes,
    kGetTimes,
    kSampleRate,
    kVideoSize,
    kFrameRate,
    kChannels,
    kAudioFade,
    kVideoFade,
    kVideoCallback,
    kAudioCallback,
    kClipMode,
    kSync,
    kStart,
    kPause,
    kStop,
    kGetState,
    kGetDuration,
    kGetPosition,
    kRecreate,
    kWait,
    kCallCount
};

const char* const kCallNames[] = {"FeedAddVideoSource",
                                  "FeedAddVideoSourceEx",
                                  "FeedAddAudioSource",
                                  "FeedRemoveSource",
                                  "FeedClearSources",
                                  "FeedSetSourceTimes",
                                  "FeedGetSourceTimes",
                                  "FeedSetAudioSampleRate",
                                  "FeedSetVideoSize",
                                  "FeedSetFrameRate",
                                  "FeedSetAudioChannels",
                                  "FeedSetAudioFade",
                                  "FeedSetVideoFade",
                                  "FeedSetVideoCallback",
                                  "FeedSetAudioCallback",
                                  "FeedSetClipMode",
                                  "FeedSetSyncEnabled",
                                  "FeedStart",
                                  "FeedPause",
                                  "FeedStop",
                                  "FeedGetState",
                                  "FeedGetDuration",
                                  "FeedGetPosition",
                                  "FeedDestroy+FeedCreate",
                                  "(wait)"};
static_assert(sizeof(kCallNames) / sizeof(kCallNames[0]) == kCallCount, "one name per call");

// ---- Reading the input ----------------------------------------------------------------------

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return pos_ >= size_; }

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // A table entry, or a raw value after a byte of 0xF0 or more.
    template <typename T, std::size_t N>
    T pick(const T (&table)[N], std::uint32_t* raw = nullptr) {
        const std::uint8_t b = byte();
        if (b >= 0xF0 && raw != nullptr) {
            std::uint32_t value = 0;
            for (int i = 0; i < 4; ++i) {
                value |= static_cast<std::uint32_t>(byte()) << (8 * i);
            }
            *raw = value;
            return T{};
        }
        return table[b % N];
    }

    std::int32_t int32(const std::int32_t* table, std::size_t n) {
        const std::uint8_t b = byte();
        if (b >= 0xF0) {
            std::uint32_t value = 0;
            for (int i = 0; i < 4; ++i) {
                value |= static_cast<std::uint32_t>(byte()) << (8 * i);
            }
            return static_cast<std::int32_t>(value);
        }
        return table[b % n];
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr std::int32_t kTimes[] = {0,     1000,   2000, 5000,      4007,      1001, -1000,
                                   1,     -1,     999,  3000,      2500,      100,  40,
                                   -4007, 123456, 1500, INT32_MAX, INT32_MIN, 7};
constexpr std::int32_t kIds[] = {1, 2, 3, 0, -1, 4, 5, 6, INT32_MAX, INT32_MIN, 7, 8};
constexpr std::int32_t kValues[] = {
    0, 1, 2, 3, -1, 64, 321, 241, INT32_MAX, 44100, 8000, -8000, INT32_MAX - 1, 6, 48, INT32_MIN};
constexpr double kRates[] = {0.0,
                             25.0,
                             29.97,
                             -1.0,
                             std::numeric_limits<double>::quiet_NaN(),
                             -0.001,
                             1e9,
                             std::numeric_limits<double>::infinity(),
                             1000.5,
                             1.0};

const std::string kLongName(300, 'n');
const char* const kNames[] = {"clip.mp4",
                              "music.wav",
                              "still.png",
                              "",
                              "missing.mkv",
                              nullptr,
                              "lavfi:testsrc2=size=64x48:rate=25:duration=1",
                              "\xff\xfe odd \x01 name",
                              "../../etc/passwd",
                              kLongName.c_str()};

// ---- Callbacks --------------------------------------------------------------------------------

std::atomic<long> g_frames{0};
std::atomic<long> g_buffers{0};

std::intptr_t FEED_CALL CountFrame(void* user, const uint8_t* frame, int32_t length, int32_t,
                                   int32_t width, int32_t height) {
    g_frames.fetch_add(1, std::memory_order_relaxed);
    if (user != &g_frames) {
        std::fprintf(stderr, "fuzz_feed_api: frame callback got a user value it was not given\n");
        std::abort();
    }
    if (length > 0 && frame != nullptr) {
        volatile std::uint8_t last = frame[length - 1];  // the whole frame is readable
        (void)last;
    }
    (void)width;
    (void)height;
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL CountBuffer(void* user, const uint8_t* buffer, int32_t length, int32_t, int32_t,
                              int32_t, int32_t) {
    g_buffers.fetch_add(1, std::memory_order_relaxed);
    if (user != &g_buffers) {
        std::fprintf(stderr, "fuzz_feed_api: buffer callback got a user value it was not given\n");
        std::abort();
    }
    if (length > 0 && buffer != nullptr) {
        volatile std::uint8_t last = buffer[length - 1];
        (void)last;
    }
    return length;
}

// ---- The model --------------------------------------------------------------------------------

struct Report {
    std::int32_t code = 0;
    std::string text;
    bool operator==(const Report& other) const { return code == other.code && text == other.text; }
};

const Report kSuccess{0, ""};

Report Refusal(const char* text) {
    return Report{-1, text};
}

// What reading a time back gives: ms x 0.001 in seconds, then x 1000.0 truncated toward zero,
// with the two ends of the range held.
std::int32_t ReadBack(std::int32_t ms) {
    const double back = static_cast<double>(ms) * 0.001 * 1000.0;
    if (back >= 2147483647.0) {
        return INT32_MAX;
    }
    if (back <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(back);
}

// One call's outcome under one hypothesis about the state.
struct Expect {
    std::int64_t result = 0;
    bool reports = false;  // false: the last report stays as it was
    Report report;
};

struct Model {
    std::int32_t lastId = 0;
    std::map<std::int32_t, std::pair<std::int32_t, std::int32_t>> times;  // as they read back
    bool active = false;                         // a session was started and may not have ended yet
    FeedState activeState = FEED_STATE_RUNNING;  // what it is if it has not ended
    std::vector<Report> reports{kSuccess};       // what the last report may be
    // A session's worker may still be starting: it clears the code (not the text) on its
    // own. Only consulted when FEED_FUZZ_ALLOW_LATE_CLEAR is set (see README.md).
    bool clearPending = false;
};

// Set FEED_FUZZ_ALLOW_LATE_CLEAR=1 to accept a code cleared by a starting session's worker
// after a refusal (a known finding, see README.md), so a campaign can look past it.
bool AllowLateClear() {
    static const bool allow = [] {
        const char* value = std::getenv("FEED_FUZZ_ALLOW_LATE_CLEAR");
        return value != nullptr && *value != '\0' && *value != '0';
    }();
    return allow;
}

[[noreturn]] void Finding(int step, Call call, const char* rule, const std::string& detail) {
    std::fprintf(stderr, "fuzz_feed_api: call %d (%s) breaks the rule: %s\n  %s\n", step,
                 kCallNames[call], rule, detail.c_str());
    std::abort();
}

std::string Describe(const Report& report) {
    return "(" + std::to_string(report.code) + ", \"" + report.text + "\")";
}

class Runner {
  public:
    explicit Runner(const std::uint8_t* data, std::size_t size) : in_(data, size) {}

    void Run() {
        feed_ = FeedCreate();
        if (feed_ == nullptr) {
            Finding(0, kRecreate, "FeedCreate gives a feed", "got NULL");
        }
        for (step_ = 1; step_ <= kMaxCalls && !in_.done(); ++step_) {
            call_ = static_cast<Call>(in_.byte() % kCallCount);
            One();
        }
        call_ = kStop;
        const std::int32_t stopped = FeedStop(feed_);
        if (!model_.active && stopped != 0) {
            Finding(step_, call_, "FeedStop on an idle feed returns 0", "got 1");
        }
        Observe("FeedStop does not report");
        FeedDestroy(feed_);
        feed_ = nullptr;
        CheckEngine("after FeedDestroy");
    }

  private:
    // Every engine object the feed took was released once, and no composite still delivers.
    void CheckEngine(const char* when) {
        const std::vector<std::string> faults = fake::engine().faults();
        if (!faults.empty()) {
            std::string all;
            for (const std::string& fault : faults) {
                all += "\n    " + fault;
            }
            Finding(step_, call_, "every engine reference is released once, in order",
                    std::string(when) + ":" + all);
        }
    }

    Report Read() const {
        Report report;
        report.code = FeedGetErrorCode(feed_);
        const char* text = FeedGetErrorText(feed_);
        if (text == nullptr) {
            Finding(step_, call_, "FeedGetErrorText never returns NULL", "got NULL");
        }
        report.text = text;
        return report;
    }

    // The same report, or the same text with the code cleared by a starting session's
    // worker when that is allowed.
    bool Same(const Report& expected, const Report& seen) const {
        if (expected == seen) {
            return true;
        }
        return AllowLateClear() && model_.clearPending && seen.code == 0 &&
               seen.text == expected.text;
    }

    bool Possible(const Report& seen) const {
        for (const Report& report : model_.reports) {
            if (Same(report, seen)) {
                return true;
            }
        }
        return false;
    }

    std::string PossibleText() const {
        std::string all;
        for (const Report& report : model_.reports) {
            all += (all.empty() ? "" : " or ") + Describe(report);
        }
        return all;
    }

    bool Matches(const Expect& expect, std::int64_t result, const Report& seen) const {
        if (result != expect.result) {
            return false;
        }
        return expect.reports ? Same(expect.report, seen) : Possible(seen);
    }

    // A refusal's code found cleared with its text kept: what a starting session's worker
    // does when it clears the code after the host's call was refused.
    bool LateClear(const Report& seen) const {
        if (seen.code != 0 || seen.text.empty() || !model_.clearPending) {
            return false;
        }
        for (const Report& report : model_.reports) {
            if (report.code == -1 && report.text == seen.text) {
                return true;
            }
        }
        return false;
    }

    // After a call that never reports: the last report must be one the model allows.
    void Observe(const char* rule) {
        const Report seen = Read();
        if (LateClear(seen)) {
            rule =
                "the code stays -1 after a refusal until the next reporting call (a starting "
                "session cleared it later, keeping the text)";
        }
        if (!Possible(seen)) {
            Finding(step_, call_, rule,
                    "report is " + Describe(seen) + ", expected " + PossibleText());
        }
        model_.reports = {seen};
    }

    // A call that never reports and whose result follows `rule` when asRule (otherwise a
    // finding, detail saying what came instead); then its silence is observed.
    void SilentCall(bool asRule, const char* rule, const char* detail, const char* silence) {
        if (!asRule) {
            Finding(step_, call_, rule, detail);
        }
        Observe(silence);
    }

    // Sets the counting callback or none, by the next byte, with one of the callback setters.
    template <typename Callback>
    void SetCallback(Callback(FEED_CALL* setter)(FeedHandle, Callback, void*), Callback counting,
                     void* context) {
        const Callback callback = (in_.byte() & 1) != 0 ? counting : nullptr;
        SilentCall(setter(feed_, callback, context) == callback,
                   "a callback setter returns the callback it was given", "got another pointer",
                   "callback setters never report");
    }

    // A call that a Running or Paused feed refuses with kWrongState, and whose outcome on an
    // idle feed is `idle`. Returns true when the call ran as on an idle feed.
    bool Checked(const char* rule, std::int64_t result, std::int64_t busyResult,
                 const Expect& idle) {
        const Report seen = Read();
        const Expect busy{busyResult, true, Refusal(kWrongState)};
        const bool idleOk = Matches(idle, result, seen);
        const bool busyOk = model_.active && Matches(busy, result, seen);
        if (!idleOk && !busyOk) {
            if (seen.code == 0 && seen.text == kWrongState && model_.clearPending) {
                rule =
                    "the code is -1 after a refusal (a starting session cleared it, keeping "
                    "the text)";
            }
            std::string detail =
                "got " + std::to_string(result) + " " + Describe(seen) +
                "; idle feed: " + std::to_string(idle.result) + " " +
                (idle.reports ? Describe(idle.report) : "no report (" + PossibleText() + ")");
            if (model_.active) {
                detail +=
                    "; busy feed: " + std::to_string(busyResult) + " " + Describe(busy.report);
            }
            Finding(step_, call_, rule, detail);
        }
        model_.reports = {seen};
        if (!busyOk) {
            model_.active = false;  // the session had ended: the call ran on an idle feed
            return true;
        }
        // Refused as busy. Should the idle outcome look the same, it changes nothing either.
        return false;
    }

    Expect Succeeds(std::int64_t result) const { return Expect{result, true, kSuccess}; }
    Expect Refused(std::int64_t result, const char* text) const {
        return Expect{result, true, Refusal(text)};
    }
    Expect Silent(std::int64_t result) const { return Expect{result, false, {}}; }

    void Add(Call kind) {
        const char* name = in_.pick(kNames);
        const std::int32_t rect[4] = {in_.int32(kValues, 16), 0, 64, 48};
        const bool withRect = (in_.byte() & 1) != 0;
        const std::int32_t clipParam = in_.int32(kValues, 16);
        const std::int32_t start = in_.int32(kTimes, 20);
        const std::int32_t stop = in_.int32(kTimes, 20);

        std::int32_t id = -1;
        if (kind == kAddVideo) {
            id = FeedAddVideoSource(feed_, name, start, stop);
        } else if (kind == kAddAudio) {
            id = FeedAddAudioSource(feed_, name, start, stop);
        } else {
            id = FeedAddVideoSourceEx(feed_, name, withRect ? rect : nullptr, clipParam, start,
                                      stop);
        }
        Expect idle;
        if (stop < start) {
            idle = Silent(-1);
        } else if (name == nullptr) {
            idle = Refused(-1, kNoInput);
        } else if (model_.lastId == INT32_MAX) {
            idle = Refused(-1, kBadId);
        } else {
            idle = Succeeds(model_.lastId + 1);
        }
        if (Checked("adds: busy refused first, then stop before start (silent), then a null "
                    "name, then ids count up from the last one handed out",
                    id, -1, idle) &&
            id > 0) {
            model_.lastId = id;
            model_.times[id] = {ReadBack(start), ReadBack(stop)};
        }
    }

    void One() {
        switch (call_) {
            case kAddVideo:
            case kAddVideoEx:
            case kAddAudio:
                Add(call_);
                break;
            case kRemove: {
                const std::int32_t id = in_.int32(kIds, 12);
                const std::int32_t result = FeedRemoveSource(feed_, id);
                const bool known = model_.times.count(id) != 0;
                if (Checked("remove: busy refused, then the id must exist; ids never come back",
                            result, 0, known ? Succeeds(1) : Refused(0, kBadId)) &&
                    known) {
                    model_.times.erase(id);
                }
                break;
            }
            case kClear: {
                const std::int32_t result = FeedClearSources(feed_);
                if (Checked("clear: busy refused, otherwise 1 and ids start again at 1", result, 0,
                            Succeeds(1))) {
                    model_.times.clear();
                    model_.lastId = 0;
                }
                break;
            }
            case kSetTimes: {
                const std::int32_t id = in_.int32(kIds, 12);
                const std::int32_t start = in_.int32(kTimes, 20);
                const std::int32_t stop = in_.int32(kTimes, 20);
                const std::int32_t result = FeedSetSourceTimes(feed_, id, start, stop);
                const bool known = model_.times.count(id) != 0;
                const Expect idle = !known         ? Refused(0, kBadId)
                                    : stop < start ? Refused(0, kBadTimes)
                                                   : Succeeds(1);
                if (Checked("set times: busy, then id, then order; times kept on refusal", result,
                            0, idle) &&
                    result == 1) {
                    model_.times[id] = {ReadBack(start), ReadBack(stop)};
                }
                break;
            }
            case kGetTimes: {
                const std::int32_t id = in_.int32(kIds, 12);
                const std::uint8_t outputs = in_.byte() % 4;
                constexpr std::int32_t kUntouched = 0x5A5A5A5A;
                std::int32_t start = kUntouched;
                std::int32_t stop = kUntouched;
                const std::int32_t result =
                    FeedGetSourceTimes(feed_, id, (outputs & 1) != 0 ? &start : nullptr,
                                       (outputs & 2) != 0 ? &stop : nullptr);
                const bool known = model_.times.count(id) != 0;
                Checked("get times: busy, then id", result, 0,
                        known ? Succeeds(1) : Refused(0, kBadId));
                std::int32_t wantStart = kUntouched;
                std::int32_t wantStop = kUntouched;
                if (result == 1) {
                    wantStart = (outputs & 1) != 0 ? model_.times[id].first : kUntouched;
                    wantStop = (outputs & 2) != 0 ? model_.times[id].second : kUntouched;
                }
                if (start != wantStart || stop != wantStop) {
                    Finding(step_, call_,
                            "times read back as ms x 0.001 x 1000.0 truncated; outputs written "
                            "only on success and never through NULL",
                            "id " + std::to_string(id) + ": got " + std::to_string(start) + ".." +
                                std::to_string(stop) + ", expected " + std::to_string(wantStart) +
                                ".." + std::to_string(wantStop));
                }
                break;
            }
            case kSampleRate: {
                const std::int32_t rate = in_.int32(kValues, 16);
                Checked("sample rate: busy refused, any value taken otherwise",
                        FeedSetAudioSampleRate(feed_, rate), 0, Succeeds(1));
                break;
            }
            case kVideoSize: {
                const std::int32_t width = in_.int32(kValues, 16);
                const std::int32_t height = in_.int32(kValues, 16);
                const Expect idle = width <= 0 || width == INT32_MAX ? Refused(0, kBadWidth)
                                    : height <= 0                    ? Refused(0, kBadHeight)
                                                                     : Succeeds(1);
                Checked("video size: busy first, then width, then height",
                        FeedSetVideoSize(feed_, width, height), 0, idle);
                break;
            }
            case kFrameRate: {
                std::uint32_t raw = 0;
                double fps = in_.pick(kRates, &raw);
                if (raw != 0) {
                    fps = static_cast<double>(static_cast<std::int32_t>(raw)) / 100.0;
                }
                const std::int32_t result = FeedSetFrameRate(feed_, fps);
                Checked(
                    "frame rate: busy refused (reported), otherwise 0.0 or more taken and "
                    "nothing reported",
                    result, 0, Silent(fps >= 0.0 ? 1 : 0));
                break;
            }
            case kChannels: {
                const std::int32_t channels = in_.int32(kValues, 16);
                const Expect idle = channels <= 0   ? Refused(0, kBadChannels)
                                    : channels >= 3 ? Refused(0, kTooManyChannels)
                                                    : Succeeds(1);
                Checked("channels: busy, then 1 or 2 only", FeedSetAudioChannels(feed_, channels),
                        0, idle);
                break;
            }
            case kAudioFade: {
                const std::int32_t in = in_.int32(kValues, 16);
                const std::int32_t inMs = in_.int32(kTimes, 20);
                const std::int32_t out = in_.int32(kValues, 16);
                const std::int32_t outMs = in_.int32(kTimes, 20);
                SilentCall(FeedSetAudioFade(feed_, in, inMs, out, outMs) == 1,
                           "fades always return 1", "got another value", "fades never report");
                break;
            }
            case kVideoFade: {
                const std::int32_t in = in_.int32(kValues, 16);
                const std::int32_t inMs = in_.int32(kTimes, 20);
                const std::uint32_t inColour =
                    (in_.byte() & 1) != 0 ? FEED_KEEP_COLOUR
                                          : static_cast<std::uint32_t>(in_.int32(kValues, 16));
                const std::int32_t out = in_.int32(kValues, 16);
                const std::int32_t outMs = in_.int32(kTimes, 20);
                const std::uint32_t outColour =
                    (in_.byte() & 1) != 0 ? FEED_KEEP_COLOUR
                                          : static_cast<std::uint32_t>(in_.int32(kValues, 16));
                SilentCall(FeedSetVideoFade(feed_, in, inMs, inColour, out, outMs, outColour) == 1,
                           "fades always return 1", "got another value", "fades never report");
                break;
            }
            case kVideoCallback:
                SetCallback(FeedSetVideoCallback, CountFrame, &g_frames);
                break;
            case kAudioCallback:
                SetCallback(FeedSetAudioCallback, CountBuffer, &g_buffers);
                break;
            case kClipMode: {
                const std::int32_t mode = in_.int32(kValues, 16);
                SilentCall(FeedSetClipMode(feed_, mode) == mode, "FeedSetClipMode returns the mode",
                           "got another value", "FeedSetClipMode never reports");
                break;
            }
            case kSync: {
                const std::int32_t enabled = in_.int32(kValues, 16);
                SilentCall(FeedSetSyncEnabled(feed_, enabled) == enabled,
                           "FeedSetSyncEnabled returns its argument", "got another value",
                           "FeedSetSyncEnabled never reports");
                break;
            }
            case kStart:
                Start();
                break;
            case kPause:
                Pause();
                break;
            case kStop: {
                const std::int32_t result = FeedStop(feed_);
                if (result != 0 && result != 1) {
                    Finding(step_, call_, "FeedStop returns 1 or 0", std::to_string(result));
                }
                if (!model_.active && result != 0) {
                    Finding(step_, call_, "FeedStop on an idle feed returns 0", "got 1");
                }
                model_.active = false;
                Observe("FeedStop never reports");
                model_.clearPending = false;  // the worker has been joined
                if (FeedGetState(feed_) != FEED_STATE_IDLE) {
                    Finding(step_, call_, "the feed is Idle once FeedStop returns",
                            "state " + std::to_string(FeedGetState(feed_)));
                }
                break;
            }
            case kGetState:
                State();
                break;
            case kGetDuration: {
                const std::int32_t duration = FeedGetDuration(feed_);
                if (duration < -1) {
                    Finding(step_, call_,
                            "FeedGetDuration gives the session's length in ms, or -1 while idle "
                            "or while the session is being built",
                            "got " + std::to_string(duration));
                }
                QueryOutcome("FeedGetDuration: -1 and no report while idle, a success while busy",
                             duration != -1, false);
                break;
            }
            case kGetPosition: {
                const std::uint8_t outputs = in_.byte() % 4;
                constexpr std::int32_t kUntouched = 0x5A5A5A5A;
                std::int32_t video = kUntouched;
                std::int32_t audio = kUntouched;
                FeedGetPosition(feed_, (outputs & 1) != 0 ? &video : nullptr,
                                (outputs & 2) != 0 ? &audio : nullptr);
                const bool videoOk = (outputs & 1) != 0 ? video != kUntouched : video == kUntouched;
                const bool audioOk = (outputs & 2) != 0 ? audio != kUntouched : audio == kUntouched;
                if (!videoOk || !audioOk) {
                    Finding(step_, call_, "FeedGetPosition writes every non-NULL output, no other",
                            std::to_string(video) + " " + std::to_string(audio));
                }
                const bool videoBusy = (outputs & 1) != 0 && video != -1;
                const bool audioBusy = (outputs & 2) != 0 && audio != -1;
                QueryOutcome(
                    "FeedGetPosition: -1, -1 and no report while idle, a success while busy",
                    videoBusy || audioBusy, false);
                break;
            }
            case kRecreate: {
                FeedDestroy(feed_);
                feed_ = FeedCreate();
                if (feed_ == nullptr) {
                    Finding(step_, call_, "FeedCreate gives a feed", "got NULL");
                }
                model_ = Model{};
                Observe("a new feed has nothing reported");
                if (FeedGetState(feed_) != FEED_STATE_IDLE) {
                    Finding(step_, call_, "a new feed is Idle", "it is not");
                }
                break;
            }
            case kWait: {
                static constexpr int kMs[] = {1, 5, 20, 60, 150, 300};
                const int ms = kMs[in_.byte() % 6];
                if (waited_ + std::chrono::milliseconds(ms) <= kWaitBudget) {
                    waited_ += std::chrono::milliseconds(ms);
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                }
                Observe("nothing reports on its own");
                break;
            }
            case kCallCount:
                break;
        }
    }

    // FeedGetDuration and FeedGetPosition: busy (a success) or idle (no report).
    void QueryOutcome(const char* rule, bool sawBusyValue, bool impossible) {
        const Report seen = Read();
        if (impossible) {
            Finding(step_, call_, rule, "value out of range");
        }
        if (!model_.active) {
            if (sawBusyValue) {
                Finding(step_, call_, rule, "an idle feed gave a session's value");
            }
            if (!Possible(seen)) {
                Finding(step_, call_, rule, "an idle feed reported " + Describe(seen));
            }
        } else if (sawBusyValue) {
            if (!(seen == kSuccess)) {
                Finding(step_, call_, rule, "a busy feed reported " + Describe(seen));
            }
        } else if (!(seen == kSuccess) && !Possible(seen)) {
            Finding(step_, call_, rule, "reported " + Describe(seen));
        }
        model_.reports = {seen};
    }

    void Start() {
        const std::int32_t result = FeedStart(feed_);
        const Report seen = Read();
        if (!model_.active) {
            const Expect idle = model_.times.empty() ? Refused(0, kNoInput) : Succeeds(1);
            if (!Matches(idle, result, seen)) {
                Finding(step_, call_,
                        "FeedStart on an idle feed: no sources is \"No inut file\", otherwise a "
                        "session starts (1, success)",
                        "got " + std::to_string(result) + " " + Describe(seen));
            }
            if (result == 1) {
                model_.active = true;
                model_.activeState = FEED_STATE_RUNNING;
                model_.clearPending = true;
            }
        } else {
            // Running: 1 and no report. Paused: resumed, 1 and no report. Ended meanwhile: the
            // list is unchanged and not empty, so a new session starts (1, success).
            if (result != 1 || !(Possible(seen) || seen == kSuccess)) {
                Finding(step_, call_,
                        "FeedStart on a busy feed returns 1 without a report (or starts again "
                        "with a success if the session had ended)",
                        "got " + std::to_string(result) + " " + Describe(seen));
            }
            model_.activeState = FEED_STATE_RUNNING;
            model_.clearPending = true;
        }
        model_.reports = {seen};
    }

    void Pause() {
        const std::int32_t result = FeedPause(feed_);
        const Report seen = Read();
        const bool idleOk = result == 0 && Same(Refusal(kWrongState), seen);
        const bool busyOk = model_.active && result == 1 && seen == kSuccess;
        if (!idleOk && !busyOk) {
            Finding(step_, call_, "FeedPause: busy pauses (1, success), idle is refused",
                    "got " + std::to_string(result) + " " + Describe(seen));
        }
        if (busyOk) {
            model_.activeState = FEED_STATE_PAUSED;
        } else {
            model_.active = false;
        }
        model_.reports = {seen};
    }

    void State() {
        const FeedState state = FeedGetState(feed_);
        const bool ok = state == FEED_STATE_IDLE || (model_.active && state == model_.activeState);
        if (!ok) {
            Finding(step_, call_,
                    "the state is Idle, or the state the host left a session in (which may end "
                    "on its own)",
                    "got " + std::to_string(state) + ", model " +
                        (model_.active ? std::to_string(model_.activeState) + " or idle"
                                       : std::string("idle")));
        }
        if (state == FEED_STATE_IDLE) {
            model_.active = false;
        }
        Observe("FeedGetState never reports");
        if (state == FEED_STATE_IDLE) {
            model_.clearPending = false;  // the worker is past its start
        }
    }

    Reader in_;
    FeedHandle feed_ = nullptr;
    Model model_;
    int step_ = 0;
    Call call_ = kCallCount;
    std::chrono::milliseconds waited_{0};
};

void ScriptEngine() {
    fake::Engine& engine = fake::engine();
    engine.reset();
    engine.addFile("clip.mp4", true, true);
    engine.addFile("music.wav", false, true);
    engine.addFile("still.png", true, false);
    fake::VideoSeries video;
    video.width = 4;
    video.height = 2;
    for (int i = 0; i < 3; ++i) {
        video.frames.push_back({i * 400000, 400000, std::vector<std::uint8_t>(32, 0x40)});
    }
    engine.setVideoSeries(std::move(video));
    fake::AudioSeries audio;
    audio.channels = 2;
    audio.sampleRate = 8000;
    for (int i = 0; i < 3; ++i) {
        audio.buffers.push_back({i * 100000, 100000, std::vector<std::uint8_t>(320, 0x10)});
    }
    engine.setAudioSeries(std::move(audio));
    engine.setPace(std::chrono::milliseconds(1));
    engine.setHoldEnd(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScriptEngine();
    Runner(data, size).Run();
    fake::engine().reset();
    return 0;
}
