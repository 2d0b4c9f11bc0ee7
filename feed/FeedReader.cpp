#include "feed/FeedReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "feed/EngineReader.h"

namespace feed {

namespace {

FeedReaderError CodeOf(HRESULT status) {
    switch (status) {
        case kReaderFileNotFound:
            return FEED_READER_E_NOT_FOUND;
        case kReaderCannotOpen:
            return FEED_READER_E_CANNOT_OPEN;
        case kReaderNoStream:
            return FEED_READER_E_NO_STREAM;
        case kReaderOutOfRange:
            return FEED_READER_E_OUT_OF_RANGE;
        case kReaderBadArgument:
            return FEED_READER_E_BAD_ARGUMENT;
        case kReaderOutOfMemory:
            return FEED_READER_E_OUT_OF_MEMORY;
        default:
            return FEED_READER_E_FAILED;
    }
}

template <std::size_t N>
void CopyText(const char (&from)[N], char (&to)[N]) {
    std::memcpy(to, from, N);
    to[N - 1] = '\0';
}

}  // namespace

FeedReader::FeedReader(const char* fileName) {
    const CreateMediaReaderFunction create = FindCreateMediaReader();
    if (create == nullptr) {
        Fail(FEED_READER_E_NO_READER, "the media engine has no file reader");
    } else if (fileName == nullptr) {
        Fail(FEED_READER_E_BAD_ARGUMENT, "no file name");
    } else if (create(nullptr, engine_.put()) < 0 || !engine_) {
        Fail(FEED_READER_E_OUT_OF_MEMORY, "the media engine could not make a reader");
    } else {
        Report(engine_->Open(fileName));
    }
    if (code_ != FEED_READER_OK) {
        engine_.reset();
        openCode_ = code_;
        openText_ = text_;
    }
}

std::int32_t FeedReader::Report(HRESULT status) {
    if (status >= 0) {
        code_ = FEED_READER_OK;
        text_.clear();
        return 1;
    }
    const char* text = engine_->GetErrorText();
    return Fail(CodeOf(status), text != nullptr && text[0] != '\0' ? text : "the reader failed");
}

std::int32_t FeedReader::Fail(FeedReaderError code, std::string text) {
    code_ = code;
    text_ = std::move(text);
    return 0;
}

void FeedReader::ReportOutOfMemory() {
    code_ = FEED_READER_E_OUT_OF_MEMORY;
    text_ = "out of memory";  // std::string keeps short texts in place: no allocation
}

bool FeedReader::IsOpen() {
    if (engine_) {
        return true;
    }
    Fail(openCode_, openText_);
    return false;
}

bool FeedReader::Fits(const void* record, std::uint32_t size, std::uint32_t least,
                      const char* name) {
    if (record == nullptr) {
        Fail(FEED_READER_E_BAD_ARGUMENT, std::string("no ") + name + " to fill in");
        return false;
    }
    if (size < least) {
        Fail(FEED_READER_E_BAD_ARGUMENT, std::string(name) + ".size is " + std::to_string(size) +
                                             ": set it to sizeof(" + name + "), " +
                                             std::to_string(least));
        return false;
    }
    return true;
}

std::int32_t FeedReader::GetMediaInfo(FeedMediaInfo* info) {
    if (!Fits(info, info != nullptr ? info->size : 0, sizeof(FeedMediaInfo), "FeedMediaInfo") ||
        !IsOpen()) {
        return 0;
    }
    MediaFileRecord file{};
    if (!Report(engine_->GetFileInfo(&file))) {
        return 0;
    }
    info->size = sizeof(FeedMediaInfo);
    info->streamCount = file.streamCount;
    info->videoStream = file.videoStream;
    info->audioStream = file.audioStream;
    info->durationSeconds = file.duration;
    info->startSeconds = file.start;
    info->bitRate = file.bitRate;
    CopyText(file.format, info->format);
    return 1;
}

std::int32_t FeedReader::GetStreamInfo(std::int32_t stream, std::int32_t countFrames,
                                       FeedStreamInfo* info) {
    if (!Fits(info, info != nullptr ? info->size : 0, sizeof(FeedStreamInfo), "FeedStreamInfo") ||
        !IsOpen()) {
        return 0;
    }
    MediaStreamRecord record{};
    if (!Report(engine_->GetStreamInfo(stream, countFrames, &record))) {
        return 0;
    }
    info->size = sizeof(FeedStreamInfo);
    info->index = record.index;
    info->type = record.type;
    info->width = record.width;
    info->height = record.height;
    info->codedWidth = record.codedWidth;
    info->codedHeight = record.codedHeight;
    info->rotation = record.rotation;
    info->frameRateNum = record.frameRateNum;
    info->frameRateDen = record.frameRateDen;
    info->sampleRate = record.sampleRate;
    info->channels = record.channels;
    info->frameCountFrom = record.frameCountFrom;
    info->reserved = 0;
    info->frameCount = record.frameCount;
    info->durationSeconds = record.duration;
    info->startSeconds = record.start;
    info->firstFrameSeconds = record.firstFrameTime;
    info->endSeconds = record.endTime;
    info->bitRate = record.bitRate;
    CopyText(record.codec, info->codec);
    return 1;
}

std::int32_t FeedReader::SetVideoOutput(std::int32_t width, std::int32_t height,
                                        std::int32_t clipMode, std::uint32_t barColour,
                                        FeedPixelFormat pixelFormat, std::int32_t planar,
                                        std::int32_t* outWidth, std::int32_t* outHeight,
                                        std::int64_t* frameBytes) {
    if (!IsOpen()) {
        return 0;
    }
    VideoOutputRecord output{};
    output.stream = -1;
    output.width = width;
    output.height = height;
    output.clipMode = clipMode;
    output.barColour = barColour & 0x00FFFFFFu;
    output.pixelFormat = pixelFormat;
    output.planar = planar != 0 ? 1 : 0;
    if (!Report(engine_->SetVideoOutput(&output))) {
        return 0;
    }
    if (outWidth != nullptr) {
        *outWidth = output.width;
    }
    if (outHeight != nullptr) {
        *outHeight = output.height;
    }
    if (frameBytes != nullptr) {
        *frameBytes = output.frameBytes;
    }
    return 1;
}

std::int32_t FeedReader::ReadFrames(const std::int64_t* indices, std::int32_t count,
                                    std::uint8_t* frames, std::int64_t bytes, double* times) {
    return Read(indices, nullptr, indices == nullptr ? "no frame indices" : nullptr, count, frames,
                bytes, times);
}

std::int32_t FeedReader::ReadFramesAt(const double* seconds, std::int32_t count,
                                      std::uint8_t* frames, std::int64_t bytes, double* times) {
    return Read(nullptr, seconds, seconds == nullptr ? "no times" : nullptr, count, frames, bytes,
                times);
}

std::int32_t FeedReader::Read(const std::int64_t* indices, const double* seconds,
                              const char* missing, std::int32_t count, std::uint8_t* frames,
                              std::int64_t bytes, double* times) {
    if (count < 0) {
        return Fail(FEED_READER_E_BAD_ARGUMENT, "a count of " + std::to_string(count) + " frames");
    }
    if (missing != nullptr) {
        if (count > 0) {
            return Fail(FEED_READER_E_BAD_ARGUMENT, missing);
        }
        static const std::int64_t kNone = 0;
        indices = &kNone;  // nothing is read
        seconds = nullptr;
    }
    if (!IsOpen()) {
        return 0;
    }
    return Report(engine_->ReadFrames(indices, seconds, count, frames, bytes, times));
}

std::int32_t FeedReader::SetAudioOutput(std::int32_t sampleRate, std::int32_t channels,
                                        std::int32_t* outSampleRate, std::int32_t* outChannels) {
    if (!IsOpen()) {
        return 0;
    }
    AudioOutputRecord output{};
    output.stream = -1;
    output.sampleRate = sampleRate;
    output.channels = channels;
    if (!Report(engine_->SetAudioOutput(&output))) {
        return 0;
    }
    if (outSampleRate != nullptr) {
        *outSampleRate = output.sampleRate;
    }
    if (outChannels != nullptr) {
        *outChannels = output.channels;
    }
    return 1;
}

std::int32_t FeedReader::ReadAudio(double startSeconds, double stopSeconds, std::int16_t* samples,
                                   std::int64_t bytes, std::int64_t* sampleFrames) {
    if (!IsOpen()) {
        return 0;
    }
    std::int64_t frames = 0;
    if (!Report(engine_->ReadAudio(startSeconds, stopSeconds, samples, bytes, &frames))) {
        return 0;
    }
    if (sampleFrames != nullptr) {
        *sampleFrames = frames;
    }
    return 1;
}

}  // namespace feed
