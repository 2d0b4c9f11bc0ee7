// The reader's exported functions: each forwards to the FeedReader method of the same name. No
// exception crosses this boundary: one that escapes a method (only memory can run out) becomes
// that call's failure, reported as FEED_READER_E_OUT_OF_MEMORY.
#include <feed/feed.h>

#include "feed/FeedReader.h"

namespace {

feed::FeedReader* Of(FeedReaderHandle handle) {
    return reinterpret_cast<feed::FeedReader*>(handle);
}

template <typename Call>
int32_t Guarded(FeedReaderHandle reader, Call call) noexcept {
    try {
        return call(Of(reader));
    } catch (...) {
        Of(reader)->ReportOutOfMemory();
        return 0;
    }
}

}  // namespace

extern "C" {

FEED_API FeedReaderHandle FEED_CALL FeedReaderOpen(const char* fileName) {
    try {
        return reinterpret_cast<FeedReaderHandle>(new feed::FeedReader(fileName));
    } catch (...) {
        return nullptr;
    }
}

FEED_API void FEED_CALL FeedReaderDestroy(FeedReaderHandle reader) {
    delete Of(reader);
}

FEED_API FeedReaderError FEED_CALL FeedReaderGetErrorCode(FeedReaderHandle reader) {
    return Of(reader)->GetErrorCode();
}

FEED_API const char* FEED_CALL FeedReaderGetErrorText(FeedReaderHandle reader) {
    return Of(reader)->GetErrorText();
}

FEED_API int32_t FEED_CALL FeedReaderGetMediaInfo(FeedReaderHandle reader, FeedMediaInfo* info) {
    return Guarded(reader, [&](feed::FeedReader* r) { return r->GetMediaInfo(info); });
}

FEED_API int32_t FEED_CALL FeedReaderGetStreamInfo(FeedReaderHandle reader, int32_t stream,
                                                   int32_t countFrames, FeedStreamInfo* info) {
    return Guarded(
        reader, [&](feed::FeedReader* r) { return r->GetStreamInfo(stream, countFrames, info); });
}

FEED_API int32_t FEED_CALL FeedReaderSetVideoOutput(FeedReaderHandle reader, int32_t width,
                                                    int32_t height, int32_t clipMode,
                                                    uint32_t barColour, FeedPixelFormat pixelFormat,
                                                    int32_t planar, int32_t* outWidth,
                                                    int32_t* outHeight, int64_t* frameBytes) {
    return Guarded(reader, [&](feed::FeedReader* r) {
        return r->SetVideoOutput(width, height, clipMode, barColour, pixelFormat, planar, outWidth,
                                 outHeight, frameBytes);
    });
}

FEED_API int32_t FEED_CALL FeedReaderReadFrames(FeedReaderHandle reader, const int64_t* indices,
                                                int32_t count, uint8_t* frames, int64_t bytes,
                                                double* times) {
    return Guarded(reader, [&](feed::FeedReader* r) {
        return r->ReadFrames(indices, count, frames, bytes, times);
    });
}

FEED_API int32_t FEED_CALL FeedReaderReadFramesAt(FeedReaderHandle reader, const double* seconds,
                                                  int32_t count, uint8_t* frames, int64_t bytes,
                                                  double* times) {
    return Guarded(reader, [&](feed::FeedReader* r) {
        return r->ReadFramesAt(seconds, count, frames, bytes, times);
    });
}

FEED_API int32_t FEED_CALL FeedReaderSetAudioOutput(FeedReaderHandle reader, int32_t sampleRate,
                                                    int32_t channels, int32_t* outSampleRate,
                                                    int32_t* outChannels) {
    return Guarded(reader, [&](feed::FeedReader* r) {
        return r->SetAudioOutput(sampleRate, channels, outSampleRate, outChannels);
    });
}

FEED_API int32_t FEED_CALL FeedReaderReadAudio(FeedReaderHandle reader, double startSeconds,
                                               double stopSeconds, int16_t* samples, int64_t bytes,
                                               int64_t* sampleFrames) {
    return Guarded(reader, [&](feed::FeedReader* r) {
        return r->ReadAudio(startSeconds, stopSeconds, samples, bytes, sampleFrames);
    });
}

}  // extern "C"
