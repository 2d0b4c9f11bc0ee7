// The muxer and the file it writes. A named file is written under a temporary name next to it
// (TemporaryFile) and moved into place when kept, so a run that delivers nothing or fails
// leaves no file behind (and an earlier file of that name untouched).
#pragma once

#include <string>

#include "media/FFmpegHolders.h"
#include "output/TemporaryFile.h"

namespace feedcat {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();  // an output not finished is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file (or takes standard output for "-") and the muxer context. With replace
    // false an existing file is refused. Main thread, before the session starts (see
    // TemporaryFile::Create).
    bool Open(const AVOutputFormat* muxer, const std::string& path, bool replace,
              std::string* error);

    // Adds a stream with the parameters of an opened encoder; returns its index or -1.
    int AddStream(const AVCodecContext* encoder);

    // indexFirst: MP4/MOV with the index at the front (a second pass when finishing), so the
    // file plays while it downloads.
    bool WriteHeader(bool indexFirst, std::string* error);

    // Writes a packet timed in timeBase to stream index (interleaved by the muxer). False when
    // writing failed; failure() says why.
    bool WritePacket(AVPacket* packet, AVRational timeBase, int index);

    // Writes the trailer and closes; keep moves the file into place, otherwise it is removed.
    bool Finish(bool keep, std::string* error);

    bool headerWritten() const { return headerWritten_; }

    // "cannot write 'out.mp4': No space left on device", after a failed WritePacket.
    const std::string& failure() const { return failure_; }

  private:
    std::string WriteError(int code) const;
    void Discard();

    media::OutputContextPtr context_;
    media::IoPtr io_;
    std::string path_;
    TemporaryFile temporary_;  // none for standard output
    bool replace_ = true;
    bool headerWritten_ = false;
    std::string failure_;
};

}  // namespace feedcat
