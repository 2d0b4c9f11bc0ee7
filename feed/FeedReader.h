// FeedReader: the object behind a FeedReaderHandle. It holds the engine's reader, copies the
// engine's records into the public ones, and keeps the outcome of the last call (its code and
// text) for FeedReaderGetErrorCode and FeedReaderGetErrorText. Used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include <feed/feed.h>

#include "engine/EngineRef.h"
#include "engine/MediaReader.h"

namespace feed {

class FeedReader {
  public:
    // Opens fileName with the engine's reader; a failure is kept and repeated by every call.
    explicit FeedReader(const char* fileName);

    FeedReaderError GetErrorCode() const { return code_; }
    const char* GetErrorText() const { return text_.c_str(); }

    std::int32_t GetMediaInfo(FeedMediaInfo* info);
    std::int32_t GetStreamInfo(std::int32_t stream, std::int32_t countFrames, FeedStreamInfo* info);
    std::int32_t SetVideoOutput(std::int32_t width, std::int32_t height, std::int32_t clipMode,
                                std::uint32_t barColour, FeedPixelFormat pixelFormat,
                                std::int32_t planar, std::int32_t* outWidth,
                                std::int32_t* outHeight, std::int64_t* frameBytes);
    std::int32_t ReadFrames(const std::int64_t* indices, std::int32_t count, std::uint8_t* frames,
                            std::int64_t bytes, double* times);
    std::int32_t ReadFramesAt(const double* seconds, std::int32_t count, std::uint8_t* frames,
                              std::int64_t bytes, double* times);
    std::int32_t SetAudioOutput(std::int32_t sampleRate, std::int32_t channels,
                                std::int32_t* outSampleRate, std::int32_t* outChannels);
    std::int32_t ReadAudio(double startSeconds, double stopSeconds, std::int16_t* samples,
                           std::int64_t bytes, std::int64_t* sampleFrames);

    // A call that ran out of memory (the export's guard calls it).
    void ReportOutOfMemory();

  private:
    // Keeps the engine's outcome (its status as a code, its text); 1 on success, else 0.
    std::int32_t Report(HRESULT status);
    std::int32_t Fail(FeedReaderError code, std::string text);
    // Frames by index or by time (the other list null); `missing` names the list when it is
    // null.
    std::int32_t Read(const std::int64_t* indices, const double* seconds, const char* missing,
                      std::int32_t count, std::uint8_t* frames, std::int64_t bytes, double* times);
    // False, with the open's failure reported again, when no file is open.
    bool IsOpen();
    // False, with a failure reported, when a record's size is below `least`.
    bool Fits(const void* record, std::uint32_t size, std::uint32_t least, const char* name);

    EngineRef<IMediaReader> engine_;
    FeedReaderError code_ = FEED_READER_OK;
    std::string text_;
    FeedReaderError openCode_ = FEED_READER_OK;  // why the file could not be opened
    std::string openText_;
};

}  // namespace feed
