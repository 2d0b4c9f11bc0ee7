// Where an audio stream's packets can start, as its codec's own headers tell: for placing a
// packet whose time a container rounded (Matroska counts milliseconds) on the sample it stands
// for.
#pragma once

struct AVCodecParameters;

namespace media {

// A length, in sample frames, that every packet of the stream (but its last) lasts a whole
// number of, so that each starts a whole number of them after the stream's first packet; 0 when
// the codec does not tell (PCM, FLAC of varying block sizes, ...). Opus at 48 kHz: 120 (2.5 ms);
// FLAC: its fixed block size; Vorbis: a quarter of its short block; others: their fixed frame
// size, where FFmpeg knows one.
int AudioGranule(const AVCodecParameters* parameters);

}  // namespace media
