// StreamSource: one stream kind of one media file, as SelectSources hands it out, or (with no
// name) an empty source that stands for black frames or silence. It holds no open file: a
// composite opens the file when the source's clip is due, so thousands of sources cost no
// file handles.
#pragma once

#include <string>

#include "media/MediaInput.h"
#include "tarn/RefCounted.h"

namespace tarn {

class StreamSource final : public RefCounted<IMediaSource> {
  public:
    // An empty name makes an empty source; info is what probing the file found.
    StreamSource(std::string name, StreamKind kind, const media::MediaInfo& info);

    const std::string& name() const { return name_; }
    StreamKind kind() const { return kind_; }
    const media::MediaInfo& info() const { return info_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    // A source alone is only ever played through a composite: Prepare records nothing, and
    // running or stopping it has no effect.
    HRESULT STDMETHODCALLTYPE Prepare(void* reserved, std::int32_t streamKind) override;
    HRESULT STDMETHODCALLTYPE Run() override { return kOk; }
    HRESULT STDMETHODCALLTYPE Pause() override { return kOk; }
    HRESULT STDMETHODCALLTYPE Stop() override { return kOk; }
    HRESULT STDMETHODCALLTYPE GetDuration(std::int64_t* duration) override;
    HRESULT STDMETHODCALLTYPE Seek(std::int64_t) override { return kNotImplemented; }
    HRESULT STDMETHODCALLTYPE IsEnded(std::int32_t* ended) override;

  private:
    const std::string name_;
    const StreamKind kind_;
    const media::MediaInfo info_;
};

}  // namespace tarn
