#include "output/EncoderDrain.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace feedcat {

bool DrainPackets(AVCodecContext* encoder, AVPacket* packet, const PacketSink& sink,
                  int* encoderError) {
    *encoderError = 0;
    for (;;) {
        const int received = avcodec_receive_packet(encoder, packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return true;
        }
        if (received < 0) {
            *encoderError = received;
            return false;
        }
        const bool written = sink(packet);
        av_packet_unref(packet);
        if (!written) {
            return false;
        }
    }
}

}  // namespace feedcat
