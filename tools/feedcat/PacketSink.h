// Where an encoder hands its packets: the output file, which owns the stream they belong to.
#pragma once

#include <functional>

struct AVPacket;

namespace feedcat {

// Takes a packet timed in the encoder's time base; false when writing failed.
using PacketSink = std::function<bool(AVPacket* packet)>;

}  // namespace feedcat
