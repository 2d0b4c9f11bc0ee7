#include "OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace feedcat {
namespace {

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

// "dir/name.mp4" -> "dir/.name.mp4.feedcat-XXXXXX"
std::string TemporaryPattern(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".feedcat-XXXXXX";
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const AVOutputFormat* muxer, const std::string& path, std::string* error) {
    path_ = path;
    std::string url = "pipe:1";
    if (path != "-") {
        struct stat status {};
        if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            *error = "cannot write '" + path + "': not a regular file";
            return false;
        }
        std::string pattern = TemporaryPattern(path);
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemp(name.data());
        if (fd < 0) {
            *error = "cannot write '" + path + "': " + std::strerror(errno);
            return false;
        }
        // mkstemp makes the file private; give it the mode a plain create would.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        close(fd);
        temporaryPath_ = name.data();
        url = "file:" + temporaryPath_;
    }
    AVFormatContext* context = nullptr;
    const int allocated = avformat_alloc_output_context2(&context, muxer, nullptr, path.c_str());
    if (allocated < 0 || context == nullptr) {
        *error =
            "cannot set up the '" + std::string(muxer->name) + "' muxer: " + ErrorText(allocated);
        Discard();
        return false;
    }
    context_.reset(context);
    AVIOContext* io = nullptr;
    const int opened = avio_open(&io, url.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        *error = "cannot write '" + path + "': " + ErrorText(opened);
        Discard();
        return false;
    }
    io_.reset(io);
    context_->pb = io_.get();
    return true;
}

int OutputFile::AddStream(const AVCodecContext* encoder) {
    AVStream* stream = avformat_new_stream(context_.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, encoder) < 0) {
        return -1;
    }
    stream->time_base = encoder->time_base;
    if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
        stream->avg_frame_rate = encoder->framerate;
        stream->r_frame_rate = encoder->framerate;
    }
    return stream->index;
}

bool OutputFile::WriteHeader(std::string* error) {
    const int written = avformat_write_header(context_.get(), nullptr);
    if (written < 0) {
        *error = "cannot write the header of '" + path_ + "': " + ErrorText(written);
        return false;
    }
    headerWritten_ = true;
    return true;
}

bool OutputFile::WritePacket(AVPacket* packet, AVRational timeBase, int index) {
    packet->stream_index = index;
    av_packet_rescale_ts(packet, timeBase, context_->streams[index]->time_base);
    return av_interleaved_write_frame(context_.get(), packet) >= 0;
}

bool OutputFile::Finish(bool keep, std::string* error) {
    bool ok = true;
    if (keep && headerWritten_) {
        const int trailer = av_write_trailer(context_.get());
        if (trailer < 0) {
            *error = "cannot finish '" + path_ + "': " + ErrorText(trailer);
            ok = false;
        }
    }
    if (io_) {
        avio_flush(io_.get());
        if (io_->error < 0 && ok) {
            *error = "cannot write '" + path_ + "': " + ErrorText(io_->error);
            ok = false;
        }
        context_->pb = nullptr;
        io_.reset();
    }
    context_.reset();
    if (keep && ok && headerWritten_ && !temporaryPath_.empty()) {
        if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
            *error = "cannot write '" + path_ + "': " + std::strerror(errno);
            ok = false;
        } else {
            temporaryPath_.clear();
        }
    }
    Discard();
    return ok;
}

void OutputFile::Discard() {
    if (context_) {
        context_->pb = nullptr;
    }
    io_.reset();
    context_.reset();
    if (!temporaryPath_.empty()) {
        std::remove(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

}  // namespace feedcat
