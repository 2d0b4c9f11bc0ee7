// The engine's file reader, beside the contract's five functions: what a file holds, and any of
// its frames or samples. It is ours, not part of the contract: an engine that stands in for
// ours may lack CreateMediaReader, so the feed library looks it up at run time (never as a
// link-time import) and tells its hosts when there is none.
//
// Conventions as in MediaEngine.h: a status is negative on failure; an out argument receives a
// new reference. A reader is used by one thread at a time; readers on different threads are
// independent.
#pragma once

#include <cstdint>

#include "engine/MediaEngine.h"

// Failure statuses a reader hands out, each with its text (IMediaReader::GetErrorText).
constexpr HRESULT kReaderFileNotFound = static_cast<HRESULT>(0x80070002u);  // no such file
constexpr HRESULT kReaderCannotOpen = static_cast<HRESULT>(0x8007000Du);    // nothing FFmpeg reads
constexpr HRESULT kReaderNoStream = static_cast<HRESULT>(0x80070490u);      // no such stream
constexpr HRESULT kReaderOutOfRange = static_cast<HRESULT>(0x8000000Bu);    // index or time
constexpr HRESULT kReaderBadArgument = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT kReaderNotOpen = static_cast<HRESULT>(0x8000FFFFu);  // before a good Open
constexpr HRESULT kReaderOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT kReaderFailed = static_cast<HRESULT>(0x80004005u);  // decoding failed

// MediaStreamRecord::type.
enum MediaStreamType : std::int32_t {
    kMediaOther = 0,
    kMediaVideo = 1,
    kMediaAudio = 2,
    kMediaSubtitle = 3,
    kMediaData = 4,
    kMediaAttachment = 5,
};

// MediaStreamRecord::frameCountFrom.
enum MediaFrameCountFrom : std::int32_t {
    kFrameCountUnknown = 0,
    kFrameCountFromContainer = 1,  // the file's own figure
    kFrameCountCounted = 2,        // counted by reading the stream
};

// Times are seconds. Source time 0 is the file's start: its first timestamp when that is
// positive (MPEG-TS and similar files start far from 0), else 0, as for the feed's sources.
struct MediaFileRecord {
    std::int32_t streamCount;
    std::int32_t videoStream;  // the stream a video source plays, -1 when none
    std::int32_t audioStream;  // the stream an audio source plays, -1 when none
    std::int32_t reserved;
    double duration;       // the container's, < 0 when unknown
    double start;          // the container's first timestamp, on the file's own clock
    std::int64_t bitRate;  // bits per second, 0 when unknown
    char format[32];       // FFmpeg's name of the container (demuxer), zero-terminated
};

struct MediaStreamRecord {
    std::int32_t index;
    std::int32_t type;  // MediaStreamType
    char codec[32];     // FFmpeg's name of the codec, zero-terminated
    // Video: the picture as shown (sample aspect ratio applied to the width, then turned by
    // rotation), the picture as stored, and the clockwise degrees that turn it upright.
    std::int32_t width;
    std::int32_t height;
    std::int32_t codedWidth;
    std::int32_t codedHeight;
    std::int32_t rotation;
    std::int32_t frameRateNum;  // average frame rate, 0/1 when unknown
    std::int32_t frameRateDen;
    std::int32_t sampleRate;  // audio
    std::int32_t channels;
    std::int32_t frameCountFrom;  // MediaFrameCountFrom
    std::int64_t frameCount;      // -1 when unknown
    double duration;              // the container's figure for the stream, < 0 when unknown
    double start;                 // the stream's first timestamp, on the file's own clock
    // Counted video streams only (else both < 0): the first frame's time and where the last
    // one ends, in source time.
    double firstFrameTime;
    double endTime;
    std::int64_t bitRate;
};

// Pixel formats of frames a reader writes.
enum MediaPixelFormat : std::int32_t {
    kPixelBgrx = 0,  // B, G, R, 0
    kPixelBgra = 1,  // B, G, R, 255
    kPixelRgba = 2,  // R, G, B, 255
    kPixelRgb24 = 3,
    kPixelBgr24 = 4,
    kPixelGray8 = 5,  // luma, BT.601 weights, full range
};

// What ReadFrames writes. In: stream, width, height (0 each: the shown picture's), clipMode
// and barColour as for a composite's clip, pixelFormat, planar. Out (SetVideoOutput fills
// them in): stream, width, height, bytesPerPixel and frameBytes.
struct VideoOutputRecord {
    std::int32_t stream;  // -1: the stream a video source plays
    std::int32_t width;
    std::int32_t height;
    std::int32_t clipMode;
    std::uint32_t barColour;
    std::int32_t pixelFormat;  // MediaPixelFormat
    std::int32_t planar;       // non-zero: one plane per channel (channels, rows, columns)
    std::int32_t bytesPerPixel;
    std::int64_t frameBytes;
};

// What ReadAudio writes: interleaved signed 16-bit samples. In: stream, sampleRate and channels
// (0 each: the stream's own, at most 8 channels). Out: the same, filled in.
struct AudioOutputRecord {
    std::int32_t stream;  // -1: the stream an audio source plays
    std::int32_t sampleRate;
    std::int32_t channels;
    std::int32_t reserved;
};

struct IMediaReader : IUnknown {
    // Opens fileName (a local file or a "lavfi:" graph) under SelectSources' rules. Once.
    virtual HRESULT STDMETHODCALLTYPE Open(const char* fileName) = 0;
    // Why the last call failed, "" after a success. Owned by the reader, valid until its next
    // call.
    virtual const char* STDMETHODCALLTYPE GetErrorText() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileInfo(MediaFileRecord* file) = 0;
    // With countFrames, a video stream's frames are counted when the file does not say (the
    // whole stream is read), and its first and end times are filled in.
    virtual HRESULT STDMETHODCALLTYPE GetStreamInfo(std::int32_t stream, std::int32_t countFrames,
                                                    MediaStreamRecord* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVideoOutput(VideoOutputRecord* output) = 0;
    // Writes `count` frames, frameBytes each, into frames (`bytes` long) in the order asked:
    // by presentation index (indices) or as shown at source times in seconds (times: the
    // latest frame at or before each). One of indices and times is null. frameTimes, when not
    // null, receives each frame's source time.
    virtual HRESULT STDMETHODCALLTYPE ReadFrames(const std::int64_t* indices, const double* times,
                                                 std::int32_t count, std::uint8_t* frames,
                                                 std::int64_t bytes, double* frameTimes) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAudioOutput(AudioOutputRecord* output) = 0;
    // The sample frames of [start, stop) seconds of source time: round(stop x rate) -
    // round(start x rate) of them, silence outside the stream. Writes their count into
    // *frameCount; and the samples into samples (`bytes` long) unless it is null.
    virtual HRESULT STDMETHODCALLTYPE ReadAudio(double start, double stop, std::int16_t* samples,
                                                std::int64_t bytes, std::int64_t* frameCount) = 0;
};

// {DE4023C5-3E65-4E2F-9602-2B4151951972}
inline constexpr IID IID_IMediaReader = {
    0xDE4023C5, 0x3E65, 0x4E2F, {0x96, 0x02, 0x2B, 0x41, 0x51, 0x95, 0x19, 0x72}};

extern "C" {
// A new reader with no file. reserved is 0.
TARN_API HRESULT TARN_CALL CreateMediaReader(void* reserved, IMediaReader** reader);
}

// The name the feed library looks CreateMediaReader up by, and its type.
inline constexpr const char kCreateMediaReaderName[] = "CreateMediaReader";
using CreateMediaReaderFunction = HRESULT(TARN_CALL*)(void* reserved, IMediaReader** reader);
