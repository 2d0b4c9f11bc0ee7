#include "output/OutputFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "media/ErrorText.h"
extern "C" {
#include <libavutil/dict.h>
}

namespace feedcat {
using media::ErrorText;

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const AVOutputFormat* muxer, const std::string& path, bool replace,
                      std::string* error) {
    path_ = path;
    replace_ = replace;
    std::string url = "pipe:1";
    if (path != "-") {
        struct stat status {};
        const bool exists = stat(path.c_str(), &status) == 0;
        if (exists && !S_ISREG(status.st_mode)) {
            *error = "cannot write '" + path + "': not a regular file";
            return false;
        }
        if (exists && !replace) {
            *error = "'" + path + "' exists: not replaced (-n); remove it or leave out -n";
            return false;
        }
        if (!temporary_.Create(path, error)) {
            return false;
        }
        url = "file:" + temporary_.path();
    }
    AVFormatContext* context = nullptr;
    // The context is named after the file really written: MP4's index-first pass reads it back.
    const int allocated = avformat_alloc_output_context2(&context, muxer, nullptr, url.c_str());
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

bool OutputFile::WriteHeader(bool indexFirst, std::string* error) {
    AVDictionary* options = nullptr;
    if (indexFirst && path_ != "-") {
        av_dict_set(&options, "movflags", "+faststart", 0);
    }
    const int written = avformat_write_header(context_.get(), &options);
    av_dict_free(&options);
    if (written < 0) {
        *error = "cannot write the header of '" + path_ + "': " + ErrorText(written);
        return false;
    }
    headerWritten_ = true;
    return true;
}

std::string OutputFile::WriteError(int code) const {
    const std::string where = path_ == "-" ? "to standard output" : "'" + path_ + "'";
    return "cannot write " + where + ": " + ErrorText(code);
}

bool OutputFile::WritePacket(AVPacket* packet, AVRational timeBase, int index) {
    packet->stream_index = index;
    av_packet_rescale_ts(packet, timeBase, context_->streams[index]->time_base);
    const int written = av_interleaved_write_frame(context_.get(), packet);
    if (written < 0) {
        failure_ = WriteError(written);
        return false;
    }
    return true;
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
            *error = WriteError(io_->error);
            ok = false;
        }
        context_->pb = nullptr;
        io_.reset();
    }
    context_.reset();
    if (keep && ok && headerWritten_ && !temporary_.path().empty()) {
        ok = temporary_.Keep(replace_, error);
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
    temporary_.Remove();
}

}  // namespace feedcat
