// What FFmpeg's own tools (ffprobe, ffmpeg) say about a file feedcat wrote: the oracle for the
// runs' outputs, independent of feedcat's and the library's code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace feedcat_test {

// One stream as ffprobe reports it: codec_type, codec_name, width, height, pix_fmt,
// sample_rate, channels, sample_fmt, nb_read_frames (frames decoded) and duration.
struct ProbedStream {
    std::map<std::string, std::string> fields;
    std::string operator[](const std::string& key) const;
    double Number(const std::string& key) const;  // 0 when absent or N/A
};

struct ProbedFile {
    bool opened = false;
    double durationSeconds = 0.0;  // the container's
    std::vector<ProbedStream> streams;
    // The first stream of the type ("video", "audio"), or null.
    const ProbedStream* Find(const std::string& type) const;
};

// Runs ffprobe on path, decoding every frame to count them.
ProbedFile Ffprobe(const std::string& path);

// The first picture, as ffmpeg decodes it, in R, G, B bytes of width x height (ffmpeg scales
// it when the picture is of another size); empty when ffmpeg cannot.
std::vector<std::uint8_t> FfmpegFirstPicture(const std::string& path, int width, int height);

// "'path'", quoted for sh.
std::string ShellQuoted(const std::string& text);

// What a shell command wrote on standard output (its standard error is dropped).
std::string CommandOutput(const std::string& command);

}  // namespace feedcat_test
