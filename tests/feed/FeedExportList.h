// Every export with the bytes its arguments take on the stack in the 32-bit convention, as
// after the '@' in feed/feed.def: pointers and 32-bit integers 4 bytes each, a double or a
// 64-bit integer 8. X(name, bytes) once per export: the feed's, whose first argument is a
// feed (but FeedCreate's), then the reader's.
#pragma once

#define FEED_FOR_EACH_EXPORT(X)  \
    X(FeedAddVideoSourceEx, 24)  \
    X(FeedAddVideoSource, 16)    \
    X(FeedAddAudioSource, 16)    \
    X(FeedRemoveSource, 8)       \
    X(FeedClearSources, 4)       \
    X(FeedSetSourceTimes, 16)    \
    X(FeedGetSourceTimes, 16)    \
    X(FeedGetErrorText, 4)       \
    X(FeedGetErrorCode, 4)       \
    X(FeedSetAudioSampleRate, 8) \
    X(FeedSetVideoSize, 12)      \
    X(FeedSetFrameRate, 12)      \
    X(FeedSetAudioChannels, 8)   \
    X(FeedSetAudioFade, 20)      \
    X(FeedSetVideoFade, 28)      \
    X(FeedSetVideoCallback, 12)  \
    X(FeedSetAudioCallback, 12)  \
    X(FeedGetDuration, 4)        \
    X(FeedGetPosition, 12)       \
    X(FeedStart, 4)              \
    X(FeedPause, 4)              \
    X(FeedStop, 4)               \
    X(FeedGetState, 4)           \
    X(FeedCreate, 0)             \
    X(FeedDestroy, 4)            \
    X(FeedSetClipMode, 8)        \
    X(FeedSetSyncEnabled, 8)     \
    X(FeedGetEndReason, 12)      \
    X(FeedGetSourceOutcome, 12)  \
    X(FeedGetVersion, 0)

// The reader's exports, whose first argument is a reader (FeedReaderOpen's a file name).
#define FEED_FOR_EACH_READER_EXPORT(X) \
    X(FeedReaderOpen, 4)               \
    X(FeedReaderDestroy, 4)            \
    X(FeedReaderGetErrorCode, 4)       \
    X(FeedReaderGetErrorText, 4)       \
    X(FeedReaderGetMediaInfo, 8)       \
    X(FeedReaderGetStreamInfo, 16)     \
    X(FeedReaderSetVideoOutput, 40)    \
    X(FeedReaderReadFrames, 28)        \
    X(FeedReaderReadFramesAt, 28)      \
    X(FeedReaderSetAudioOutput, 20)    \
    X(FeedReaderReadAudio, 36)
