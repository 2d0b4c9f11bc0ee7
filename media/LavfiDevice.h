// FFmpeg's lavfi input device, which plays `lavfi:` filter graphs, loaded when first asked for.
//
// The device lives in libavdevice, which brings libavfilter and some thirty libraries of its
// own (display, sound servers, speech voices): about 17 MiB of a process's resident memory
// once loaded. A process that only reads files never asks for it and never loads them.
#pragma once

struct AVInputFormat;

namespace media {

// The lavfi input format, loading libavdevice and registering its devices on the first call
// (thread-safe; the library then stays loaded for the life of the process). Null when the
// library cannot be loaded or has no lavfi device: graphs then cannot be opened.
const AVInputFormat* LavfiInputFormat();

}  // namespace media
