// The media engine as the feed library sees it: five C functions and the reference-counted
// interfaces they hand out. The engine (libtarn, TARN.dll on Windows) is a separate library;
// any engine that honours these declarations can stand in for it.
//
// Conventions: a status is a signed 32-bit value, negative on failure, and callers test only
// its sign. An out argument receives a new reference, which the receiver releases exactly
// once. Times are signed 64-bit counts of 100-ns units on a timeline that starts at 0.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>  // IUnknown, GUID, BITMAPINFOHEADER, WAVEFORMATEX, STDMETHODCALLTYPE

#include <mmreg.h>  // after windows.h, whose types it uses
#else
// Off Windows: the same layouts, and a calling convention that is the platform's own, or
// the Windows one on 32-bit x86 when FEED_I386_STDCALL asks for it (as TARN_CALL below).
#if defined(FEED_I386_STDCALL) && defined(__i386__)
#define STDMETHODCALLTYPE __attribute__((stdcall))
#else
#define STDMETHODCALLTYPE
#endif

using HRESULT = std::int32_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

struct IUnknown {
    // Fills *object with a new reference, or with nullptr and a negative status.
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual std::uint32_t STDMETHODCALLTYPE AddRef() = 0;
    // Returns the count this call left; the caller must not touch the object afterwards.
    virtual std::uint32_t STDMETHODCALLTYPE Release() = 0;

  protected:
    ~IUnknown() = default;
};

// The 40-byte record that describes a video frame.
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

// The 18-byte record that describes an audio buffer (packed, as on Windows).
#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
#endif

// Calling convention of the engine's functions and of its callback: callee pops on 32-bit
// Windows, and on other 32-bit x86 systems when FEED_I386_STDCALL asks for it; the platform's
// own elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define TARN_CALL __stdcall
#elif defined(FEED_I386_STDCALL) && defined(__i386__)
#define TARN_CALL __attribute__((stdcall))
#else
#define TARN_CALL
#endif

#if defined(_WIN32)
#if defined(TARN_BUILDING)
#define TARN_API __declspec(dllexport)
#else
#define TARN_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define TARN_API __attribute__((visibility("default")))
#else
#define TARN_API
#endif

// The fields of the two records that the feed library reads, at the offsets it reads them.
static_assert(sizeof(BITMAPINFOHEADER) == 40, "video format record is 40 bytes");
static_assert(offsetof(BITMAPINFOHEADER, biWidth) == 4, "frame width at byte 4");
static_assert(offsetof(BITMAPINFOHEADER, biHeight) == 8, "frame height at byte 8");
static_assert(sizeof(WAVEFORMATEX) == 18, "audio format record is 18 bytes");
static_assert(offsetof(WAVEFORMATEX, nChannels) == 2, "channel count at byte 2");
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4, "sample rate at byte 4");
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14, "bits per sample at byte 14");

// The engine's stream selector. Note that it runs the other way from the feed's SourceKind.
enum StreamKind : std::int32_t { kStreamVideo = 0, kStreamAudio = 1 };

// Called by a callback acceptor once per frame or buffer, one at a time per timeline.
// format points to a BITMAPINFOHEADER (video) or WAVEFORMATEX (audio) owned by the engine and
// valid during the call; data holds length bytes and may be modified in place; start and
// duration are 100-ns units on the timeline. The acceptor ignores the result.
using AcceptorCallback = std::intptr_t(TARN_CALL*)(void* context, const void* format,
                                                   std::uint8_t* data, std::int32_t length,
                                                   std::int64_t start, std::int64_t duration);

struct IMediaAcceptor : IUnknown {};

struct IMediaSource : IUnknown {
    // Readies the source to deliver the given StreamKind. The first argument is reserved (0).
    virtual HRESULT STDMETHODCALLTYPE Prepare(void* reserved, std::int32_t streamKind) = 0;
    // Starts or resumes delivery from a thread of the engine's own.
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    // Holds delivery before the next frame or buffer until Run.
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    // Ends delivery; when it returns, no callback runs any more.
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    // Not used by the feed library.
    virtual HRESULT STDMETHODCALLTYPE GetDuration(std::int64_t* duration) = 0;
    // Not used by the feed library.
    virtual HRESULT STDMETHODCALLTYPE Seek(std::int64_t position) = 0;
    // Writes 0 while there is more to deliver, non-zero once the last delivery has returned.
    virtual HRESULT STDMETHODCALLTYPE IsEnded(std::int32_t* ended) = 0;
};

// The editing side of a composite source, got with IID_ICompositeEdit.
struct ICompositeEdit : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetVideoFormat(std::int32_t width, std::int32_t height,
                                                     double framesPerSecond) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAudioFormat(std::int32_t sampleRate,
                                                     std::int32_t channels) = 0;
    // Not used by the feed library.
    virtual HRESULT STDMETHODCALLTYPE RemoveAllClips() = 0;
    // Plays source from sourceStart to sourceStop at timelineStart to timelineStop. The
    // composite keeps its own reference to source. crop points to four values (left, top,
    // right, bottom; all -1 for none), read during the call.
    virtual HRESULT STDMETHODCALLTYPE AddClip(IMediaSource* source, const std::int32_t* crop,
                                              std::int32_t clipMode, std::int32_t clipParam,
                                              std::int64_t sourceStart, std::int64_t sourceStop,
                                              std::int64_t timelineStart,
                                              std::int64_t timelineStop) = 0;
};

// Got from an ICompositeEdit with IID_IAcceptorConnection.
struct IAcceptorConnection : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectAcceptor(IMediaAcceptor* acceptor) = 0;
};

// Keeps a video and an audio timeline in step; the deliveries report their times.
struct IAudioVideoSync : IUnknown {
    // Reserved arguments are 0.
    virtual HRESULT STDMETHODCALLTYPE AttachAcceptors(void* reserved1, void* reserved2,
                                                      IMediaAcceptor* video, void* reserved3,
                                                      void* reserved4, IMediaAcceptor* audio) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyVideoTime(std::int64_t start) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyAudioTime(std::int64_t start) = 0;
};

// Negative statuses with which SelectSources says why a file could not be opened. They are
// HRESULTs of the Windows kind, so they mean the same on every platform. Any other negative
// status means that it could not be opened, for no stated reason.
inline constexpr HRESULT kOpenNotFound = static_cast<HRESULT>(0x80070002u);    // no such file
inline constexpr HRESULT kOpenDenied = static_cast<HRESULT>(0x80070005u);      // may not be read
inline constexpr HRESULT kOpenNotMedia = static_cast<HRESULT>(0x8007000Du);    // unreadable data
inline constexpr HRESULT kOpenNotAllowed = static_cast<HRESULT>(0x80070032u);  // a kind of name
                                                                               // not opened
inline constexpr HRESULT kOpenNoStreams = static_cast<HRESULT>(0x80070490u);   // no video, audio
// The status of IsEnded once a timeline has ended because the engine failed (ran out of memory
// or threads) rather than at the end of its media; it still writes a non-zero `ended`.
inline constexpr HRESULT kEndedByFailure = static_cast<HRESULT>(0x8007000Eu);

// {3E2B17D5-3160-427A-A360-BC208783F980}
inline constexpr IID IID_ICompositeEdit = {
    0x3E2B17D5, 0x3160, 0x427A, {0xA3, 0x60, 0xBC, 0x20, 0x87, 0x83, 0xF9, 0x80}};
// {8F2F6038-C76A-4684-9E9D-A114F7DFA390}
inline constexpr IID IID_IAcceptorConnection = {
    0x8F2F6038, 0xC76A, 0x4684, {0x9E, 0x9D, 0xA1, 0x14, 0xF7, 0xDF, 0xA3, 0x90}};

extern "C" {
// A new, empty composite source. reserved is 0.
TARN_API HRESULT TARN_CALL CreateSimpleCompositeSource(void* reserved, IMediaSource** composite);

// A source with no media, which once prepared stands for black frames or silence. Always
// succeeds.
TARN_API HRESULT TARN_CALL CreateEmptySource(void* reserved, IMediaSource** source);

// Opens fileName and hands out one source per stream kind found (either may come back null
// on success; both are null on failure). The two extra outputs are the streams' lengths in
// ms, -1 when unknown.
TARN_API HRESULT TARN_CALL SelectSources(const char* fileName, IMediaSource** video,
                                         std::int32_t* videoLengthMs, IMediaSource** audio,
                                         std::int32_t* audioLengthMs);

// An acceptor that calls callback(context, ...) for every frame or buffer it receives.
TARN_API HRESULT TARN_CALL CreateCallBackMediaAcceptor(void* reserved, AcceptorCallback callback,
                                                       void* context, IMediaAcceptor** acceptor);

// A new audio/video sync object. reserved is 0.
TARN_API HRESULT TARN_CALL CreateAudioVideoSync(void* reserved, IAudioVideoSync** sync);
}
