// Every export and both callback types have exactly the type a host expects, calling
// convention included: on 32-bit Windows a function that lost FEED_CALL would be __cdecl, and a
// host calling it through GetProcAddress would leave the stack unbalanced.
#include <feed/feed.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

namespace {

template <typename Actual, typename Wanted>
constexpr bool kSame = std::is_same_v<Actual, Wanted>;

using Handle = FeedHandle;
using I32 = int32_t;

static_assert(
    kSame<FeedVideoFrameCallback, intptr_t(FEED_CALL*)(void*, const uint8_t*, I32, I32, I32, I32)>);
static_assert(kSame<FeedAudioBufferCallback,
                    I32(FEED_CALL*)(void*, const uint8_t*, I32, I32, I32, I32, I32)>);

static_assert(kSame<decltype(&FeedCreate), Handle(FEED_CALL*)(void)>);
static_assert(kSame<decltype(&FeedDestroy), void(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedStart), I32(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedPause), I32(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedStop), I32(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedGetState), FeedState(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedGetDuration), I32(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedGetPosition), void(FEED_CALL*)(Handle, I32*, I32*)>);
static_assert(kSame<decltype(&FeedGetErrorCode), I32(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedGetErrorText), const char*(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedAddVideoSource), I32(FEED_CALL*)(Handle, const char*, I32, I32)>);
static_assert(kSame<decltype(&FeedAddVideoSourceEx),
                    I32(FEED_CALL*)(Handle, const char*, const I32*, I32, I32, I32)>);
static_assert(kSame<decltype(&FeedAddAudioSource), I32(FEED_CALL*)(Handle, const char*, I32, I32)>);
static_assert(kSame<decltype(&FeedRemoveSource), I32(FEED_CALL*)(Handle, I32)>);
static_assert(kSame<decltype(&FeedClearSources), I32(FEED_CALL*)(Handle)>);
static_assert(kSame<decltype(&FeedSetSourceTimes), I32(FEED_CALL*)(Handle, I32, I32, I32)>);
static_assert(kSame<decltype(&FeedGetSourceTimes), I32(FEED_CALL*)(Handle, I32, I32*, I32*)>);
static_assert(kSame<decltype(&FeedSetAudioSampleRate), I32(FEED_CALL*)(Handle, I32)>);
static_assert(kSame<decltype(&FeedSetVideoSize), I32(FEED_CALL*)(Handle, I32, I32)>);
static_assert(kSame<decltype(&FeedSetFrameRate), I32(FEED_CALL*)(Handle, double)>);
static_assert(kSame<decltype(&FeedSetAudioChannels), I32(FEED_CALL*)(Handle, I32)>);
static_assert(kSame<decltype(&FeedSetAudioFade), I32(FEED_CALL*)(Handle, I32, I32, I32, I32)>);
static_assert(kSame<decltype(&FeedSetVideoFade),
                    I32(FEED_CALL*)(Handle, I32, I32, uint32_t, I32, I32, uint32_t)>);
static_assert(kSame<decltype(&FeedSetVideoCallback),
                    FeedVideoFrameCallback(FEED_CALL*)(Handle, FeedVideoFrameCallback, void*)>);
static_assert(kSame<decltype(&FeedSetAudioCallback),
                    FeedAudioBufferCallback(FEED_CALL*)(Handle, FeedAudioBufferCallback, void*)>);
static_assert(kSame<decltype(&FeedSetClipMode), I32(FEED_CALL*)(Handle, I32)>);
static_assert(kSame<decltype(&FeedSetSyncEnabled), I32(FEED_CALL*)(Handle, I32)>);
static_assert(kSame<decltype(&FeedGetEndReason), FeedEndReason(FEED_CALL*)(Handle, char*, I32)>);
static_assert(
    kSame<decltype(&FeedGetSourceOutcome), I32(FEED_CALL*)(Handle, I32, FeedSourceOutcome*)>);
static_assert(kSame<decltype(&FeedGetVersion), I32(FEED_CALL*)(void)>);

using Reader = FeedReaderHandle;
using I64 = int64_t;
static_assert(kSame<decltype(&FeedReaderOpen), Reader(FEED_CALL*)(const char*)>);
static_assert(kSame<decltype(&FeedReaderDestroy), void(FEED_CALL*)(Reader)>);
static_assert(kSame<decltype(&FeedReaderGetErrorCode), FeedReaderError(FEED_CALL*)(Reader)>);
static_assert(kSame<decltype(&FeedReaderGetErrorText), const char*(FEED_CALL*)(Reader)>);
static_assert(kSame<decltype(&FeedReaderGetMediaInfo), I32(FEED_CALL*)(Reader, FeedMediaInfo*)>);
static_assert(
    kSame<decltype(&FeedReaderGetStreamInfo), I32(FEED_CALL*)(Reader, I32, I32, FeedStreamInfo*)>);
static_assert(kSame<decltype(&FeedReaderSetVideoOutput),
                    I32(FEED_CALL*)(Reader, I32, I32, I32, uint32_t, FeedPixelFormat, I32, I32*,
                                    I32*, I64*)>);
static_assert(kSame<decltype(&FeedReaderReadFrames),
                    I32(FEED_CALL*)(Reader, const I64*, I32, uint8_t*, I64, double*)>);
static_assert(kSame<decltype(&FeedReaderReadFramesAt),
                    I32(FEED_CALL*)(Reader, const double*, I32, uint8_t*, I64, double*)>);
static_assert(
    kSame<decltype(&FeedReaderSetAudioOutput), I32(FEED_CALL*)(Reader, I32, I32, I32*, I32*)>);
static_assert(kSame<decltype(&FeedReaderReadAudio),
                    I32(FEED_CALL*)(Reader, double, double, int16_t*, I64, I64*)>);

// The checks above only mean something if the convention is part of the type.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(!kSame<I32(__stdcall*)(Handle), I32(__cdecl*)(Handle)>);
#elif defined(FEED_I386_STDCALL) && defined(__i386__)
static_assert(!kSame<I32(__attribute__((stdcall)) *)(Handle), I32 (*)(Handle)>);
#endif

}  // namespace

TEST(ExportConventionTest, EveryExportIsCalledTheWayAHostCallsIt) {
    // The checks are made by the compiler; this records that the file was built.
    SUCCEED();
}
