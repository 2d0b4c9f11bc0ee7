// feed._feed: the compiled half of the Python package `feed`. It binds FeedCore, the delivered
// item types and ReaderCore; feed/__init__.py builds the public interface on them.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

#include "FeedCore.h"
#include "ReaderCore.h"

namespace py = pybind11;
using feedpy::AudioBuffer;
using feedpy::FeedCore;
using feedpy::VideoFrame;

namespace {

// numpy's C interface is found on first use, in function-local statics of pybind11 that import
// numpy while they are being initialised. Found then on a thread while another waits for the
// same static holding the GIL, the two block each other for ever; found here, at import, under
// Python's import lock, it is ready before any thread makes an array.
void MakeNumpyReady() {
    py::module_::import("numpy");
    for (const py::dtype& type : {py::dtype::of<std::uint8_t>(), py::dtype::of<double>(),
                                  py::dtype::of<std::int64_t>(), py::dtype("<i2")}) {
        py::array(type, {0}, {type.itemsize()}, nullptr);
    }
}

std::string Version() {
    return std::to_string(FEED_VERSION_MAJOR) + "." + std::to_string(FEED_VERSION_MINOR) + "." +
           std::to_string(FEED_VERSION_PATCH);
}

}  // namespace

PYBIND11_MODULE(_feed, m) {
    m.doc() = "Compiled core of the feed package; use the package `feed`, not this module.";
    MakeNumpyReady();
    m.attr("__version__") = Version();

    // The package re-exports these under its own name; their repr and pickling say "feed".
    auto error = py::register_exception<feedpy::FeedFailure>(m, "FeedError", PyExc_RuntimeError);
    error.attr("__module__") = "feed";
    error.doc() = "A refusal or failure of the feed library, with the library's own message.";

    py::class_<VideoFrame>(m, "VideoFrame",
                           "One video frame: `array` is a (height, width, 4) uint8 array, bytes "
                           "B, G, R, 0 per pixel, owned by the array; `position_ms` is the "
                           "frame's time on the timeline.")
        .def_readonly("array", &VideoFrame::array)
        .def_readonly("position_ms", &VideoFrame::positionMs)
        .def_property_readonly(
            "position", [](const VideoFrame& frame) { return frame.positionMs / 1000.0; },
            "The frame's time on the timeline in seconds.")
        .def("__repr__", [](const VideoFrame& frame) {
            const py::tuple shape = frame.array.attr("shape");
            return "VideoFrame(position_ms=" + std::to_string(frame.positionMs) + ", " +
                   py::str(shape[1]).cast<std::string>() + "x" +
                   py::str(shape[0]).cast<std::string>() + ")";
        });
    py::class_<AudioBuffer>(m, "AudioBuffer",
                            "One audio buffer: `array` is a (sample frames, channels) int16 array "
                            "of interleaved PCM, owned by the array; `position_ms` is its time on "
                            "the timeline, `sample_rate` in Hz.")
        .def_readonly("array", &AudioBuffer::array)
        .def_readonly("position_ms", &AudioBuffer::positionMs)
        .def_property_readonly(
            "position", [](const AudioBuffer& buffer) { return buffer.positionMs / 1000.0; },
            "The buffer's time on the timeline in seconds.")
        .def_readonly("sample_rate", &AudioBuffer::sampleRate)
        .def("__repr__", [](const AudioBuffer& buffer) {
            const py::tuple shape = buffer.array.attr("shape");
            return "AudioBuffer(position_ms=" + std::to_string(buffer.positionMs) + ", " +
                   py::str(shape[0]).cast<std::string>() + " frames x " +
                   py::str(shape[1]).cast<std::string>() + " channels)";
        });
    m.attr("VideoFrame").attr("__module__") = "feed";
    m.attr("AudioBuffer").attr("__module__") = "feed";

    py::class_<FeedCore>(m, "Core", "One feed of the C library; see feed.Feed.")
        .def(py::init<>())
        .def("add_video", &FeedCore::AddVideo, py::arg("name"), py::arg("start_ms"),
             py::arg("stop_ms"), py::arg("crop"), py::arg("bars_colour"))
        .def("add_audio", &FeedCore::AddAudio, py::arg("name"), py::arg("start_ms"),
             py::arg("stop_ms"))
        .def("remove_source", &FeedCore::RemoveSource)
        .def("clear_sources", &FeedCore::ClearSources)
        .def("set_source_times", &FeedCore::SetSourceTimes)
        .def("source_times", &FeedCore::SourceTimes)
        .def("set_video_size", &FeedCore::SetVideoSize)
        .def("set_frame_rate", &FeedCore::SetFrameRate)
        .def("set_sample_rate", &FeedCore::SetSampleRate)
        .def("set_channels", &FeedCore::SetChannels)
        .def("set_video_fade", &FeedCore::SetVideoFade)
        .def("set_audio_fade", &FeedCore::SetAudioFade)
        .def("set_clip_mode", &FeedCore::SetClipMode)
        .def("set_sync", &FeedCore::SetSync)
        .def("start", &FeedCore::Start, py::arg("video"), py::arg("audio"), py::arg("max_frames"),
             py::arg("max_buffers"))
        .def("next", &FeedCore::Next)
        .def("pause", &FeedCore::Pause)
        .def("resume", &FeedCore::Resume)
        .def("stop", &FeedCore::Stop, py::arg("session") = 0)
        .def("state", [](FeedCore& core) { return static_cast<int>(core.State()); })
        .def("duration_ms", &FeedCore::DurationMs)
        .def("position_ms", &FeedCore::PositionMs)
        .def("end_reason", &FeedCore::EndReason)
        .def("source_outcome", &FeedCore::SourceOutcome)
        .def("close", &FeedCore::Close)
        // Leaks the object on purpose: in a forked child its destructor must never run.
        .def("abandon",
             [](py::object self) {
                 self.inc_ref();
                 self.cast<FeedCore&>().Abandon();
             })
        .def_property_readonly("closed", &FeedCore::closed);

    feedpy::BindReader(m);
}
