// Moving every packet an encoder has ready into a sink.
#pragma once

#include "PacketSink.h"

struct AVCodecContext;
struct AVPacket;

namespace feedcat {

// Receives packets from encoder into packet (a scratch packet, left empty) and hands each to
// sink until the encoder wants more input or has ended. False on an encoder failure (its code
// in *encoderError) or a sink failure (*encoderError 0).
bool DrainPackets(AVCodecContext* encoder, AVPacket* packet, const PacketSink& sink,
                  int* encoderError);

}  // namespace feedcat
