// The test programs link the library's objects in, yet the C host (HeaderFromC.c) is compiled
// as a Windows host is: its calls go through the dllimport slots (__imp_Name) that an import
// library would provide. Here those slots point at the functions linked into the program.
#include <feed/feed.h>

// 32-bit slot names carry the __stdcall argument bytes, as the symbols in feed/feed.def.
#if defined(_WIN64)
#define FEED_IMPORT_SLOT(name, bytes)                                                          \
    extern "C" __attribute__((used)) const void* const importSlot_##name asm("__imp_" #name) = \
        reinterpret_cast<const void*>(&name)
#else
#define FEED_IMPORT_SLOT(name, bytes)                                     \
    extern "C" __attribute__((used))                                      \
    const void* const importSlot_##name asm("__imp__" #name "@" #bytes) = \
        reinterpret_cast<const void*>(&name)
#endif

FEED_IMPORT_SLOT(FeedAddVideoSourceEx, 24);
FEED_IMPORT_SLOT(FeedAddVideoSource, 16);
FEED_IMPORT_SLOT(FeedAddAudioSource, 16);
FEED_IMPORT_SLOT(FeedRemoveSource, 8);
FEED_IMPORT_SLOT(FeedClearSources, 4);
FEED_IMPORT_SLOT(FeedSetSourceTimes, 16);
FEED_IMPORT_SLOT(FeedGetSourceTimes, 16);
FEED_IMPORT_SLOT(FeedGetErrorText, 4);
FEED_IMPORT_SLOT(FeedGetErrorCode, 4);
FEED_IMPORT_SLOT(FeedSetAudioSampleRate, 8);
FEED_IMPORT_SLOT(FeedSetVideoSize, 12);
FEED_IMPORT_SLOT(FeedSetFrameRate, 12);
FEED_IMPORT_SLOT(FeedSetAudioChannels, 8);
FEED_IMPORT_SLOT(FeedSetAudioFade, 20);
FEED_IMPORT_SLOT(FeedSetVideoFade, 28);
FEED_IMPORT_SLOT(FeedSetVideoCallback, 12);
FEED_IMPORT_SLOT(FeedSetAudioCallback, 12);
FEED_IMPORT_SLOT(FeedGetDuration, 4);
FEED_IMPORT_SLOT(FeedGetPosition, 12);
FEED_IMPORT_SLOT(FeedStart, 4);
FEED_IMPORT_SLOT(FeedPause, 4);
FEED_IMPORT_SLOT(FeedStop, 4);
FEED_IMPORT_SLOT(FeedGetState, 4);
FEED_IMPORT_SLOT(FeedCreate, 0);
FEED_IMPORT_SLOT(FeedDestroy, 4);
FEED_IMPORT_SLOT(FeedSetClipMode, 8);
FEED_IMPORT_SLOT(FeedSetSyncEnabled, 8);
FEED_IMPORT_SLOT(FeedGetEndReason, 12);
FEED_IMPORT_SLOT(FeedGetSourceOutcome, 12);
FEED_IMPORT_SLOT(FeedGetVersion, 0);
FEED_IMPORT_SLOT(FeedReaderOpen, 4);
FEED_IMPORT_SLOT(FeedReaderDestroy, 4);
FEED_IMPORT_SLOT(FeedReaderGetErrorCode, 4);
FEED_IMPORT_SLOT(FeedReaderGetErrorText, 4);
FEED_IMPORT_SLOT(FeedReaderGetMediaInfo, 8);
FEED_IMPORT_SLOT(FeedReaderGetStreamInfo, 16);
FEED_IMPORT_SLOT(FeedReaderSetVideoOutput, 40);
FEED_IMPORT_SLOT(FeedReaderReadFrames, 28);
FEED_IMPORT_SLOT(FeedReaderReadFramesAt, 28);
FEED_IMPORT_SLOT(FeedReaderSetAudioOutput, 20);
FEED_IMPORT_SLOT(FeedReaderReadAudio, 36);
