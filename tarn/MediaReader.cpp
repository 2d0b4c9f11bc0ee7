#include "tarn/MediaReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "media/MediaInput.h"
#include "media/MediaStreams.h"
#include "tarn/PixelPacker.h"
#include "tarn/TimeBase.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarn {

namespace {
constexpr const char kLavfiPrefix[] = "lavfi:";

// Output limits, as a composite's: larger frames, rates or channel counts are refused.
constexpr std::int32_t kMaxDimension = 16384;
constexpr std::int32_t kMaxSampleRate = 768000;
constexpr std::int32_t kMaxChannels = 8;

// Times a reader takes, in seconds either side of 0: over 30 years, far inside what the
// conversions to any time base can hold.
constexpr double kMaxSeconds = 1e9;

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

// A number of seconds or a count as a message shows it: "2.5", "0.0333667".
std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.6g", value);
    return text;
}

// "1 frame", "3 frames".
std::string Count(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void CopyName(const char* from, char (&to)[32]) {
    std::snprintf(to, sizeof(to), "%s", from != nullptr ? from : "");
}

double SecondsOrUnknown(std::int64_t value, AVRational timeBase) {
    return value == AV_NOPTS_VALUE ? -1.0 : static_cast<double>(value) * av_q2d(timeBase);
}

MediaStreamType TypeOf(AVMediaType type) {
    switch (type) {
        case AVMEDIA_TYPE_VIDEO:
            return kMediaVideo;
        case AVMEDIA_TYPE_AUDIO:
            return kMediaAudio;
        case AVMEDIA_TYPE_SUBTITLE:
            return kMediaSubtitle;
        case AVMEDIA_TYPE_DATA:
            return kMediaData;
        case AVMEDIA_TYPE_ATTACHMENT:
            return kMediaAttachment;
        default:
            return kMediaOther;
    }
}

MediaStreamRecord Describe(AVFormatContext* input, AVStream* stream) {
    const AVCodecParameters* parameters = stream->codecpar;
    MediaStreamRecord record{};
    record.index = stream->index;
    record.type = TypeOf(parameters->codec_type);
    CopyName(avcodec_get_name(parameters->codec_id), record.codec);
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO && parameters->width > 0 &&
        parameters->height > 0) {
        // A still image's rotation is its decoded picture's (EXIF), which takes reading packets;
        // nothing read after it here needs any.
        record.rotation = media::ShownRotation(input, stream->index);
        const media::DisplaySize shown = media::DisplayedSize(input, stream, record.rotation);
        record.width = shown.width;
        record.height = shown.height;
        record.codedWidth = parameters->width;
        record.codedHeight = parameters->height;
    }
    const AVRational rate = parameters->codec_type == AVMEDIA_TYPE_VIDEO
                                ? media::StreamFrameRate(stream)
                                : AVRational{0, 1};
    record.frameRateNum = rate.num;
    record.frameRateDen = rate.den;
    if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
        record.sampleRate = parameters->sample_rate;
        record.channels = parameters->ch_layout.nb_channels;
    }
    record.frameCountFrom = stream->nb_frames > 0 ? kFrameCountFromContainer : kFrameCountUnknown;
    record.frameCount = stream->nb_frames > 0 ? stream->nb_frames : -1;
    record.duration = SecondsOrUnknown(stream->duration, stream->time_base);
    record.start = stream->start_time == AV_NOPTS_VALUE
                       ? 0.0
                       : static_cast<double>(stream->start_time) * av_q2d(stream->time_base);
    record.firstFrameTime = -1.0;
    record.endTime = -1.0;
    record.bitRate = parameters->bit_rate;
    return record;
}

// Where sample frame `seconds` x rate lies, rounded to the nearest, as an audio clip reader
// started at that time places its first sample.
std::int64_t SamplePosition(double seconds, std::int32_t rate) {
    const std::int64_t units = std::llround(seconds * static_cast<double>(kUnitsPerSecond));
    return av_rescale_rnd(units, rate, kUnitsPerSecond, AV_ROUND_NEAR_INF);
}
}  // namespace

MediaReader::~MediaReader() = default;

HRESULT MediaReader::QueryInterface(REFIID iid, void** object) {
    return QuerySoleInterface<IMediaReader>(iid, object, IID_IMediaReader);
}

template <typename Body>
HRESULT MediaReader::Run(Body body) {
    error_.clear();
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Fail(kReaderOutOfMemory, "out of memory");
    } catch (...) {
        return Fail(kReaderFailed, "the reader failed");
    }
}

HRESULT MediaReader::Fail(HRESULT status, std::string text) {
    error_ = std::move(text);
    return status;
}

HRESULT MediaReader::Open(const char* fileName) {
    return Run([&] {
        if (fileName == nullptr) {
            return Fail(kReaderBadArgument, "no file name");
        }
        if (opened_) {
            return Fail(kReaderBadArgument, "the reader has a file already");
        }
        return OpenFile(fileName);
    });
}

HRESULT MediaReader::OpenFile(const std::string& name) {
    media::OpenFailure why = media::OpenFailure::None;
    media::InputPtr input = media::OpenInput(name, &why);
    if (!input) {
        return Fail(why == media::OpenFailure::NotFound ? kReaderFileNotFound : kReaderCannotOpen,
                    std::string(media::OpenFailureText(why)) + ": " + Quoted(name));
    }
    streams_.clear();
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        streams_.push_back(Describe(input.get(), input->streams[i]));
    }
    file_ = MediaFileRecord{};
    file_.streamCount = static_cast<std::int32_t>(streams_.size());
    file_.videoStream = media::FindBestStream(input.get(), AVMEDIA_TYPE_VIDEO);
    file_.audioStream = media::FindBestStream(input.get(), AVMEDIA_TYPE_AUDIO);
    file_.duration = SecondsOrUnknown(input->duration, AV_TIME_BASE_Q);
    file_.start = input->start_time == AV_NOPTS_VALUE
                      ? 0.0
                      : static_cast<double>(input->start_time) / AV_TIME_BASE;
    file_.bitRate = input->bit_rate;
    CopyName(input->iformat != nullptr ? input->iformat->name : "", file_.format);
    origin_ = UnitsOf(media::SourceTimeOrigin(input.get()), AV_TIME_BASE_Q);
    name_ = name;
    opened_ = true;
    return kOk;
}

HRESULT MediaReader::GetFileInfo(MediaFileRecord* file) {
    return Run([&] {
        if (!opened_) {
            return Fail(kReaderNotOpen, "no file is open");
        }
        if (file == nullptr) {
            return Fail(kReaderBadArgument, "no record to fill in");
        }
        *file = file_;
        return kOk;
    });
}

HRESULT MediaReader::GetStreamInfo(std::int32_t stream, std::int32_t countFrames,
                                   MediaStreamRecord* info) {
    return Run([&] {
        if (!opened_) {
            return Fail(kReaderNotOpen, "no file is open");
        }
        if (info == nullptr) {
            return Fail(kReaderBadArgument, "no record to fill in");
        }
        if (stream < 0 || stream >= file_.streamCount) {
            return Fail(kReaderNoStream, "no stream " + std::to_string(stream) + ": the file has " +
                                             std::to_string(file_.streamCount) + " streams");
        }
        MediaStreamRecord record = streams_[static_cast<std::size_t>(stream)];
        if (countFrames != 0 && record.type == kMediaVideo) {
            const FrameTable* table = TableOf(stream);
            if (table == nullptr) {
                return kReaderFailed;
            }
            record.frameCount = table->size();
            record.frameCountFrom = kFrameCountCounted;
            if (table->size() > 0) {
                record.firstFrameTime = SecondsOf(*table, table->time(0));
                record.endTime = SecondsOf(*table, table->end());
            }
        }
        *info = record;
        return kOk;
    });
}

const FrameTable* MediaReader::TableOf(std::int32_t stream) {
    auto found = tables_.find(stream);
    if (found == tables_.end()) {
        if (name_.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) == 0) {
            // A graph makes its frames as it plays, and may never end.
            Fail(kReaderFailed,
                 "the frames of a lavfi: graph cannot be counted or read by index "
                 "or time; play it as a source");
            return nullptr;
        }
        auto table = std::make_unique<FrameTable>();
        if (!table->Scan(name_, stream)) {
            Fail(kReaderFailed, "the frames of stream " + std::to_string(stream) +
                                    " could not be read: " + Quoted(name_));
            return nullptr;
        }
        found = tables_.emplace(stream, std::move(table)).first;
    }
    return found->second.get();
}

double MediaReader::SecondsOf(const FrameTable& table, std::int64_t timestamp) const {
    const AVRational timeBase = table.timeBase();
    const std::int64_t origin = av_rescale_q(origin_, kUnitTimeBase, timeBase);
    return static_cast<double>(timestamp - origin) * av_q2d(timeBase);
}

HRESULT MediaReader::SetVideoOutput(VideoOutputRecord* output) {
    return Run([&] {
        if (!opened_) {
            return Fail(kReaderNotOpen, "no file is open");
        }
        if (output == nullptr) {
            return Fail(kReaderBadArgument, "no record to fill in");
        }
        if (file_.videoStream < 0) {
            return Fail(kReaderNoStream, "The media has no video stream");
        }
        if (output->stream != -1 && output->stream != file_.videoStream) {
            return Fail(kReaderNoStream,
                        "stream " + std::to_string(output->stream) +
                            " cannot be read: frames come from the stream a video source plays (" +
                            std::to_string(file_.videoStream) + ")");
        }
        const MediaStreamRecord& stream = streams_[static_cast<std::size_t>(file_.videoStream)];
        for (const auto& [value, what] :
             {std::pair{output->width, "width"}, std::pair{output->height, "height"}}) {
            if (value < 0 || value > kMaxDimension) {
                return Fail(kReaderBadArgument, std::string(what) + " " + std::to_string(value) +
                                                    " is out of range: 1 to " +
                                                    std::to_string(kMaxDimension) +
                                                    " pixels, or 0 for the picture's own");
            }
        }
        if (output->clipMode < 0 || output->clipMode > 2) {
            return Fail(kReaderBadArgument, "clip mode " + std::to_string(output->clipMode) +
                                                " is not 0 (stretch), 1 (fit) or 2 (fill)");
        }
        const auto format = static_cast<MediaPixelFormat>(output->pixelFormat);
        if (BytesPerPixel(format) == 0) {
            return Fail(kReaderBadArgument,
                        "pixel format " + std::to_string(output->pixelFormat) + " is unknown");
        }
        VideoOutputRecord resolved = *output;
        resolved.stream = file_.videoStream;
        // A side of 0 is the picture's own; with the other side given, it keeps the picture's
        // shape.
        if (resolved.width == 0 && resolved.height == 0) {
            resolved.width = stream.width;
            resolved.height = stream.height;
        } else if (resolved.width == 0) {
            resolved.width = static_cast<std::int32_t>(std::max<std::int64_t>(
                1, av_rescale(resolved.height, stream.width, std::max(stream.height, 1))));
        } else if (resolved.height == 0) {
            resolved.height = static_cast<std::int32_t>(std::max<std::int64_t>(
                1, av_rescale(resolved.width, stream.height, std::max(stream.width, 1))));
        }
        if (resolved.width < 1 || resolved.height < 1 || resolved.width > kMaxDimension ||
            resolved.height > kMaxDimension) {
            return Fail(kReaderBadArgument, "frames of " + std::to_string(resolved.width) + "x" +
                                                std::to_string(resolved.height) +
                                                " pixels are outside 1 to " +
                                                std::to_string(kMaxDimension) + " a side");
        }
        resolved.bytesPerPixel = BytesPerPixel(format);
        resolved.frameBytes =
            static_cast<std::int64_t>(resolved.width) * resolved.height * resolved.bytesPerPixel;
        *output = resolved;
        videoOutput_ = resolved;
        hasVideoOutput_ = true;
        video_.reset();
        return kOk;
    });
}

HRESULT MediaReader::ReadyToRead(const FrameTable** table) {
    if (!opened_) {
        return Fail(kReaderNotOpen, "no file is open");
    }
    if (!hasVideoOutput_) {
        VideoOutputRecord defaults{};
        defaults.stream = -1;
        const HRESULT status = SetVideoOutput(&defaults);
        if (status < 0) {
            return status;
        }
    }
    *table = TableOf(videoOutput_.stream);
    if (*table == nullptr) {
        return kReaderFailed;
    }
    if ((*table)->size() == 0) {
        return Fail(kReaderOutOfRange, "the video stream has no frames");
    }
    if (!video_) {
        VideoFrameSetup setup;
        setup.name = name_;
        setup.table = *table;
        setup.origin = origin_;
        setup.mode = static_cast<ClipMode>(videoOutput_.clipMode);
        setup.barColour = videoOutput_.barColour;
        setup.width = videoOutput_.width;
        setup.height = videoOutput_.height;
        setup.format = static_cast<MediaPixelFormat>(videoOutput_.pixelFormat);
        setup.planar = videoOutput_.planar != 0;
        video_ = std::make_unique<VideoFrameReader>(std::move(setup));
    }
    return kOk;
}

HRESULT MediaReader::FramesAtTimes(const FrameTable& table, const double* times, std::int32_t count,
                                   std::vector<std::int64_t>* frames) {
    const AVRational timeBase = table.timeBase();
    const std::int64_t origin = av_rescale_q(origin_, kUnitTimeBase, timeBase);
    for (std::int32_t i = 0; i < count; ++i) {
        const double seconds = times[i];
        std::int64_t frame = -1;
        std::int64_t timestamp = 0;
        // The last tick of the stream's clock at or before the time, where times are taken to
        // the nearest 100 ns, as the feed takes them: a time given as a double, a hair before
        // a frame's own time, still shows that frame.
        const double ticks =
            std::floor((seconds + 0.5 / kUnitsPerSecond) * timeBase.den / timeBase.num);
        if (std::isfinite(ticks) && std::fabs(seconds) <= kMaxSeconds && std::fabs(ticks) < 4e18) {
            timestamp = origin + static_cast<std::int64_t>(ticks);
            frame = timestamp < table.end() ? table.LatestAtOrBefore(timestamp) : -1;
        }
        if (frame < 0) {
            return Fail(kReaderOutOfRange,
                        "time " + Number(seconds) +
                            " s is out of range: the video's frames are shown from " +
                            Number(SecondsOf(table, table.time(0))) + " s until " +
                            Number(SecondsOf(table, table.end())) + " s");
        }
        frames->push_back(frame);
    }
    return kOk;
}

HRESULT MediaReader::ReadFrames(const std::int64_t* indices, const double* times,
                                std::int32_t count, std::uint8_t* frames, std::int64_t bytes,
                                double* frameTimes) {
    return Run([&] {
        if ((indices == nullptr) == (times == nullptr) || count < 0) {
            return Fail(kReaderBadArgument, "frames are asked for by index or by time");
        }
        const FrameTable* table = nullptr;
        HRESULT status = ReadyToRead(&table);
        if (status < 0) {
            return status;
        }
        std::vector<std::int64_t> wanted;
        wanted.reserve(static_cast<std::size_t>(count));
        if (indices != nullptr) {
            for (std::int32_t i = 0; i < count; ++i) {
                if (indices[i] < 0 || indices[i] >= table->size()) {
                    return Fail(kReaderOutOfRange, "frame " + std::to_string(indices[i]) +
                                                       " is out of range: the video has " +
                                                       std::to_string(table->size()) +
                                                       " frames (0 to " +
                                                       std::to_string(table->size() - 1) + ")");
                }
                wanted.push_back(indices[i]);
            }
        } else if ((status = FramesAtTimes(*table, times, count, &wanted)) < 0) {
            return status;
        }
        if (count > 0 && (frames == nullptr || bytes / count < videoOutput_.frameBytes)) {
            return Fail(kReaderBadArgument,
                        "the buffer holds " + std::to_string(frames == nullptr ? 0 : bytes) +
                            " bytes; " + Count(count, "frame needs ", "frames need ") +
                            std::to_string(videoOutput_.frameBytes * count));
        }
        if (count > 0) {
            video_->Read(wanted.data(), count, frames);
        }
        if (frameTimes != nullptr) {
            for (std::int32_t i = 0; i < count; ++i) {
                frameTimes[i] = SecondsOf(*table, table->time(wanted[static_cast<std::size_t>(i)]));
            }
        }
        return kOk;
    });
}

HRESULT MediaReader::SetAudioOutput(AudioOutputRecord* output) {
    return Run([&] {
        if (!opened_) {
            return Fail(kReaderNotOpen, "no file is open");
        }
        if (output == nullptr) {
            return Fail(kReaderBadArgument, "no record to fill in");
        }
        if (file_.audioStream < 0) {
            return Fail(kReaderNoStream, "The media has no audio stream");
        }
        if (output->stream != -1 && output->stream != file_.audioStream) {
            return Fail(
                kReaderNoStream,
                "stream " + std::to_string(output->stream) +
                    " cannot be read: samples come from the stream an audio source plays (" +
                    std::to_string(file_.audioStream) + ")");
        }
        if (output->sampleRate < 0 || output->sampleRate > kMaxSampleRate) {
            return Fail(kReaderBadArgument, "sample rate " + std::to_string(output->sampleRate) +
                                                " is out of range: 1 to " +
                                                std::to_string(kMaxSampleRate) +
                                                " Hz, or 0 for the stream's own");
        }
        if (output->channels < 0 || output->channels > kMaxChannels) {
            return Fail(kReaderBadArgument, "channel count " + std::to_string(output->channels) +
                                                " is out of range: 1 to " +
                                                std::to_string(kMaxChannels) +
                                                ", or 0 for the stream's own");
        }
        const MediaStreamRecord& stream = streams_[static_cast<std::size_t>(file_.audioStream)];
        AudioOutputRecord resolved = *output;
        resolved.stream = file_.audioStream;
        if (resolved.sampleRate == 0) {
            resolved.sampleRate = std::clamp(stream.sampleRate, 1, kMaxSampleRate);
        }
        if (resolved.channels == 0) {
            resolved.channels = std::clamp(stream.channels, 1, kMaxChannels);
        }
        resolved.reserved = 0;
        *output = resolved;
        audioOutput_ = resolved;
        hasAudioOutput_ = true;
        audio_.reset();
        return kOk;
    });
}

HRESULT MediaReader::ReadAudio(double start, double stop, std::int16_t* samples, std::int64_t bytes,
                               std::int64_t* frameCount) {
    return Run([&] {
        if (!opened_) {
            return Fail(kReaderNotOpen, "no file is open");
        }
        if (!hasAudioOutput_) {
            AudioOutputRecord defaults{};
            defaults.stream = -1;
            const HRESULT status = SetAudioOutput(&defaults);
            if (status < 0) {
                return status;
            }
        }
        if (!std::isfinite(start) || !std::isfinite(stop) || std::fabs(start) > kMaxSeconds ||
            std::fabs(stop) > kMaxSeconds) {
            return Fail(kReaderOutOfRange, "times " + Number(start) + " s and " + Number(stop) +
                                               " s are outside what a reader takes (" +
                                               Number(kMaxSeconds) + " s either side of 0)");
        }
        if (stop < start) {
            return Fail(kReaderBadArgument,
                        "stop " + Number(stop) + " s is before start " + Number(start) + " s");
        }
        const std::int32_t rate = audioOutput_.sampleRate;
        const std::int64_t first = SamplePosition(start, rate);
        const std::int64_t frames = SamplePosition(stop, rate) - first;
        if (frameCount != nullptr) {
            *frameCount = frames;
        }
        if (samples == nullptr) {
            return kOk;
        }
        const std::int64_t needed = frames * audioOutput_.channels * 2;
        if (bytes < needed) {
            return Fail(kReaderBadArgument,
                        "the buffer holds " + std::to_string(bytes) + " bytes; " +
                            Count(frames, "sample frame needs ", "sample frames need ") +
                            std::to_string(needed));
        }
        // A read that starts where the last one ended goes on with its decoder.
        if (!audio_ || first != audioPosition_) {
            AudioClipSetup clip;
            clip.name = name_;
            clip.sourceStart = std::llround(start * static_cast<double>(kUnitsPerSecond));
            clip.outputRate = rate;
            clip.outputChannels = audioOutput_.channels;
            audio_ = std::make_unique<AudioClipReader>(std::move(clip));
        }
        audio_->Read(samples, frames);
        audioPosition_ = first + frames;
        return kOk;
    });
}

}  // namespace tarn
