// Moving every packet an encoder has ready into a sink: the output file, which owns the
// stream they belong to.
#pragma once

#include <functional>

struct AVCodecContext;
struct AVPacket;

namespace feedcat {

// Takes a packet timed in the encoder's time base; false when writing failed.
using PacketSink = std::function<bool(AVPacket* packet)>;

// Receives packets from encoder into packet (a scratch packet, left empty) and hands each to
// sink until the encoder wants more input or has ended. False on an encoder failure (its code
// in *encoderError) or a sink failure (*encoderError 0).
bool DrainPackets(AVCodecContext* encoder, AVPacket* packet, const PacketSink& sink,
                  int* encoderError);

}  // namespace feedcat
