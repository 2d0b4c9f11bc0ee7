// Which lavfi graphs the engine agrees to run. A graph may only use generators and filters that
// touch nothing outside the process: filters that read or write files (movie, amovie, sendcmd,
// subtitles, drawtext's font and text files, lut3d, ...) or open sockets (zmq) are refused, so a
// "lavfi:" name cannot reach the network or another file. A graph has one output.
#pragma once

#include <string>

namespace media {

// True when every filter of `graph` (the text after "lavfi:") is one the engine allows and the
// graph parses the way FFmpeg would split it.
bool IsAllowedLavfiGraph(const std::string& graph);

}  // namespace media
