#include "ReaderCore.h"

#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace py = pybind11;

namespace feedpy {

namespace {

// A failure of the library's reader: its FEED_READER_E_ code and text, raised in Python as
// _feed.ReaderFailure(code, text), which feed/_reader.py turns into the fitting exception.
struct ReaderError {
    FeedReaderError code;
    std::string text;
};

// The exception type, made once when the module is bound.
PyObject* readerFailureType = nullptr;

py::object OrNone(bool known, py::object value) {
    return known ? std::move(value) : py::none();
}

const char* TypeName(FeedStreamType type) {
    switch (type) {
        case FEED_STREAM_VIDEO:
            return "video";
        case FEED_STREAM_AUDIO:
            return "audio";
        case FEED_STREAM_SUBTITLE:
            return "subtitle";
        case FEED_STREAM_DATA:
            return "data";
        case FEED_STREAM_ATTACHMENT:
            return "attachment";
        default:
            return "other";
    }
}

const char* CountFrom(std::int32_t from) {
    switch (from) {
        case FEED_FRAME_COUNT_FROM_CONTAINER:
            return "container";
        case FEED_FRAME_COUNT_COUNTED:
            return "counted";
        default:
            return nullptr;
    }
}

}  // namespace

template <typename Call>
void ReaderCore::Checked(Call call) {
    ReaderError error{FEED_READER_OK, {}};
    bool closed = false;
    {
        const py::gil_scoped_release release;
        const std::lock_guard<std::mutex> lock(calls_);
        if (handle_ == nullptr) {
            closed = true;
        } else if (call(handle_) == 0) {
            error.code = FeedReaderGetErrorCode(handle_);
            error.text = FeedReaderGetErrorText(handle_);
        }
    }
    if (closed) {
        throw py::value_error("the reader is closed");
    }
    if (error.code != FEED_READER_OK) {
        throw error;
    }
}

ReaderCore::ReaderCore(const std::string& name) {
    ReaderError error{FEED_READER_OK, {}};
    {
        const py::gil_scoped_release release;
        handle_ = FeedReaderOpen(name.c_str());
        if (handle_ != nullptr && FeedReaderGetErrorCode(handle_) != FEED_READER_OK) {
            error.code = FeedReaderGetErrorCode(handle_);
            error.text = FeedReaderGetErrorText(handle_);
            FeedReaderDestroy(std::exchange(handle_, nullptr));
        }
    }
    if (error.code != FEED_READER_OK) {
        throw error;
    }
    if (handle_ == nullptr) {
        throw std::bad_alloc();
    }
}

ReaderCore::~ReaderCore() {
    // No call can be running: each holds a reference to the object.
    FeedReaderDestroy(std::exchange(handle_, nullptr));
}

void ReaderCore::Close() {
    FeedReaderHandle reader = nullptr;
    {
        const py::gil_scoped_release release;
        const std::lock_guard<std::mutex> lock(calls_);  // after a read on another thread
        reader = std::exchange(handle_, nullptr);
    }
    FeedReaderDestroy(reader);
}

py::dict ReaderCore::MediaInfo() {
    FeedMediaInfo info{};
    info.size = sizeof(info);
    Checked([&](FeedReaderHandle reader) { return FeedReaderGetMediaInfo(reader, &info); });
    py::dict record;
    record["stream_count"] = info.streamCount;
    record["video_stream"] = OrNone(info.videoStream >= 0, py::int_(info.videoStream));
    record["audio_stream"] = OrNone(info.audioStream >= 0, py::int_(info.audioStream));
    record["duration"] = OrNone(info.durationSeconds >= 0, py::float_(info.durationSeconds));
    record["start"] = info.startSeconds;
    record["bit_rate"] = OrNone(info.bitRate > 0, py::int_(info.bitRate));
    record["format"] = std::string(info.format);
    return record;
}

py::dict ReaderCore::StreamInfo(std::int32_t stream, bool countFrames) {
    FeedStreamInfo info{};
    info.size = sizeof(info);
    Checked([&](FeedReaderHandle reader) {
        return FeedReaderGetStreamInfo(reader, stream, countFrames ? 1 : 0, &info);
    });
    const bool video = info.type == FEED_STREAM_VIDEO;
    const bool audio = info.type == FEED_STREAM_AUDIO;
    py::dict record;
    record["index"] = info.index;
    record["type"] = TypeName(info.type);
    record["codec"] = std::string(info.codec);
    record["width"] = OrNone(video, py::int_(info.width));
    record["height"] = OrNone(video, py::int_(info.height));
    record["coded_width"] = OrNone(video, py::int_(info.codedWidth));
    record["coded_height"] = OrNone(video, py::int_(info.codedHeight));
    record["rotation"] = OrNone(video, py::int_(info.rotation));
    record["frame_rate"] = OrNone(video && info.frameRateNum > 0 && info.frameRateDen > 0,
                                  py::make_tuple(info.frameRateNum, info.frameRateDen));
    record["sample_rate"] = OrNone(audio, py::int_(info.sampleRate));
    record["channels"] = OrNone(audio, py::int_(info.channels));
    record["frame_count"] = OrNone(info.frameCount >= 0, py::int_(info.frameCount));
    const char* from = CountFrom(info.frameCountFrom);
    record["frame_count_from"] = OrNone(from != nullptr, py::str(from != nullptr ? from : ""));
    record["duration"] = OrNone(info.durationSeconds >= 0, py::float_(info.durationSeconds));
    record["start"] = info.startSeconds;
    const bool counted = info.frameCountFrom == FEED_FRAME_COUNT_COUNTED && info.frameCount > 0;
    record["begin"] = OrNone(counted, py::float_(info.firstFrameSeconds));
    record["end"] = OrNone(counted, py::float_(info.endSeconds));
    record["bit_rate"] = OrNone(info.bitRate > 0, py::int_(info.bitRate));
    return record;
}

py::tuple ReaderCore::SetVideoOutput(std::int32_t width, std::int32_t height, std::int32_t clipMode,
                                     std::uint32_t barColour, std::int32_t pixelFormat,
                                     bool planar) {
    std::int32_t outWidth = 0;
    std::int32_t outHeight = 0;
    std::int64_t frameBytes = 0;
    Checked([&](FeedReaderHandle reader) {
        return FeedReaderSetVideoOutput(reader, width, height, clipMode, barColour, pixelFormat,
                                        planar ? 1 : 0, &outWidth, &outHeight, &frameBytes);
    });
    frameBytes_ = frameBytes;
    return py::make_tuple(outWidth, outHeight, frameBytes);
}

template <typename Value>
py::tuple ReaderCore::ReadFramesOf(
    const py::array_t<Value, py::array::c_style | py::array::forcecast>& wanted) {
    if (frameBytes_ == 0) {
        SetVideoOutput(0, 0, 0, 0, FEED_PIXEL_BGRX, false);
    }
    if (wanted.ndim() != 1) {
        throw py::value_error("frames are asked for as a flat sequence");
    }
    const py::ssize_t count = wanted.shape(0);
    if (count > INT32_MAX) {
        throw py::value_error("at most 2**31 - 1 frames are read at once");
    }
    py::array_t<std::uint8_t> frames({count, static_cast<py::ssize_t>(frameBytes_)});
    py::array_t<double> times(count);
    std::uint8_t* out = frames.mutable_data();
    double* outTimes = times.mutable_data();
    const Value* asked = wanted.data();
    const std::int64_t bytes = static_cast<std::int64_t>(count) * frameBytes_;
    Checked([&](FeedReaderHandle reader) {
        if constexpr (std::is_same_v<Value, double>) {
            return FeedReaderReadFramesAt(reader, asked, static_cast<std::int32_t>(count), out,
                                          bytes, outTimes);
        } else {
            return FeedReaderReadFrames(reader, asked, static_cast<std::int32_t>(count), out, bytes,
                                        outTimes);
        }
    });
    return py::make_tuple(std::move(frames), std::move(times));
}

py::tuple ReaderCore::ReadFrames(
    const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>& indices) {
    return ReadFramesOf(indices);
}

py::tuple ReaderCore::ReadFramesAt(
    const py::array_t<double, py::array::c_style | py::array::forcecast>& seconds) {
    return ReadFramesOf(seconds);
}

py::tuple ReaderCore::SetAudioOutput(std::int32_t sampleRate, std::int32_t channels) {
    std::int32_t outRate = 0;
    std::int32_t outChannels = 0;
    Checked([&](FeedReaderHandle reader) {
        return FeedReaderSetAudioOutput(reader, sampleRate, channels, &outRate, &outChannels);
    });
    channels_ = outChannels;
    return py::make_tuple(outRate, outChannels);
}

py::array ReaderCore::ReadAudio(double startSeconds, double stopSeconds) {
    if (channels_ == 0) {
        SetAudioOutput(0, 0);
    }
    std::int64_t frames = 0;
    Checked([&](FeedReaderHandle reader) {
        return FeedReaderReadAudio(reader, startSeconds, stopSeconds, nullptr, 0, &frames);
    });
    // The library's samples are little-endian whatever the machine; "<i2" says so.
    py::array samples(py::dtype("<i2"),
                      {static_cast<py::ssize_t>(frames), static_cast<py::ssize_t>(channels_)});
    auto* out = static_cast<std::int16_t*>(samples.mutable_data());
    const std::int64_t bytes = frames * channels_ * 2;
    Checked([&](FeedReaderHandle reader) {
        return FeedReaderReadAudio(reader, startSeconds, stopSeconds, out, bytes, &frames);
    });
    return samples;
}

void BindReader(py::module_& module) {
    static py::exception<ReaderError> failure(module, "ReaderFailure", PyExc_RuntimeError);
    failure.doc() = "A failure of the library's reader: args are (code, text).";
    readerFailureType = failure.ptr();
    py::register_exception_translator([](std::exception_ptr raised) {
        try {
            if (raised) {
                std::rethrow_exception(raised);
            }
        } catch (const ReaderError& error) {
            PyErr_SetObject(readerFailureType, py::make_tuple(error.code, error.text).ptr());
        }
    });

    py::class_<ReaderCore>(module, "Reader", "One reader of the C library; see feed.VideoReader.")
        .def(py::init<const std::string&>(), py::arg("name"))
        .def("media_info", &ReaderCore::MediaInfo)
        .def("stream_info", &ReaderCore::StreamInfo, py::arg("stream"), py::arg("count_frames"))
        .def("set_video_output", &ReaderCore::SetVideoOutput, py::arg("width"), py::arg("height"),
             py::arg("clip_mode"), py::arg("bars_colour"), py::arg("pixel_format"),
             py::arg("planar"))
        .def("read_frames", &ReaderCore::ReadFrames, py::arg("indices"))
        .def("read_frames_at", &ReaderCore::ReadFramesAt, py::arg("seconds"))
        .def("set_audio_output", &ReaderCore::SetAudioOutput, py::arg("sample_rate"),
             py::arg("channels"))
        .def("read_audio", &ReaderCore::ReadAudio, py::arg("start"), py::arg("stop"))
        .def("close", &ReaderCore::Close)
        // Leaks the object on purpose: in a forked child its destructor must never run.
        .def("abandon", [](py::object self) {
            self.inc_ref();
            self.cast<ReaderCore&>().Abandon();
        });
}

}  // namespace feedpy
