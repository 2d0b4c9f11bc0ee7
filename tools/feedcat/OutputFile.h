// The muxer and the file it writes. A named file is written under a temporary name next to it
// and renamed into place when kept, so a run that delivers nothing leaves no file behind (and
// an earlier file of that name untouched).
#pragma once

#include <string>

#include "media/FFmpegHolders.h"

namespace feedcat {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file (or takes standard output for "-") and the muxer context.
    bool Open(const AVOutputFormat* muxer, const std::string& path, std::string* error);

    // Adds a stream with the parameters of an opened encoder; returns its index or -1.
    int AddStream(const AVCodecContext* encoder);

    bool WriteHeader(std::string* error);

    // Writes a packet timed in timeBase to stream index (interleaved by the muxer).
    bool WritePacket(AVPacket* packet, AVRational timeBase, int index);

    // Writes the trailer and closes; keep renames the file into place, otherwise it is removed.
    bool Finish(bool keep, std::string* error);

    bool headerWritten() const { return headerWritten_; }

  private:
    void Discard();

    media::OutputContextPtr context_;
    media::IoPtr io_;
    std::string path_;
    std::string temporaryPath_;  // empty for standard output
    bool headerWritten_ = false;
};

}  // namespace feedcat
