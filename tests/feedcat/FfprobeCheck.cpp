#include "FfprobeCheck.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace feedcat_test {

std::string ProbedStream::operator[](const std::string& key) const {
    const auto found = fields.find(key);
    return found == fields.end() ? "" : found->second;
}

double ProbedStream::Number(const std::string& key) const {
    const std::string value = (*this)[key];
    return value.empty() || value == "N/A" ? 0.0 : std::atof(value.c_str());
}

const ProbedStream* ProbedFile::Find(const std::string& type) const {
    for (const ProbedStream& stream : streams) {
        if (stream["codec_type"] == type) {
            return &stream;
        }
    }
    return nullptr;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string CommandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, read);
    }
    pclose(pipe);
    return output;
}

ProbedFile Ffprobe(const std::string& path) {
    // default=noprint_wrappers=0 writes [STREAM] ... [/STREAM] blocks of key=value lines.
    const std::string text = CommandOutput(
        "ffprobe -v error -count_frames -show_entries "
        "format=duration:stream=codec_type,codec_name,width,height,pix_fmt,sample_rate,channels,"
        "sample_fmt,nb_read_frames,duration -of default " +
        ShellQuoted(path));
    ProbedFile file;
    std::istringstream lines(text);
    ProbedStream* stream = nullptr;
    bool inFormat = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == "[STREAM]") {
            file.streams.emplace_back();
            stream = &file.streams.back();
        } else if (line == "[/STREAM]") {
            stream = nullptr;
        } else if (line == "[FORMAT]") {
            inFormat = true;
            file.opened = true;
        } else if (line == "[/FORMAT]") {
            inFormat = false;
        } else if (const std::size_t equals = line.find('='); equals != std::string::npos) {
            const std::string key = line.substr(0, equals);
            const std::string value = line.substr(equals + 1);
            if (stream != nullptr) {
                stream->fields[key] = value;
            } else if (inFormat && key == "duration" && value != "N/A") {
                file.durationSeconds = std::atof(value.c_str());
            }
        }
    }
    return file;
}

std::vector<std::uint8_t> FfmpegFirstPicture(const std::string& path, int width, int height) {
    const std::string picture =
        CommandOutput("ffmpeg -v error -i " + ShellQuoted(path) +
                      " -frames:v 1 -vf scale=" + std::to_string(width) + ":" +
                      std::to_string(height) + " -f rawvideo -pix_fmt rgb24 -");
    if (picture.size() != static_cast<std::size_t>(width) * height * 3) {
        return {};
    }
    return std::vector<std::uint8_t>(picture.begin(), picture.end());
}

}  // namespace feedcat_test
