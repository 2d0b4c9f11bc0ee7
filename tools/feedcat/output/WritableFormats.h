// The containers feedcat writes, as the FFmpeg it runs on has them (libavformat's muxers, asked
// through av_muxer_iterate and av_guess_format), each with the extensions that pick it and the
// encoders it gets unless told otherwise.
#pragma once

#include <string>
#include <vector>

struct AVCodec;
struct AVOutputFormat;

namespace feedcat {

struct WritableFormat {
    const AVOutputFormat* muxer = nullptr;
    std::vector<std::string> extensions;  // lower case, without the dot
    const AVCodec* video = nullptr;       // null: the container takes no video
    const AVCodec* audio = nullptr;       // null: the container takes no audio
};

// Every container an output name can pick by its extension, in libavformat's order.
const std::vector<WritableFormat>& WritableFormats();

// The format extension (lower case, no dot) picks, or null when feedcat writes none by it.
const WritableFormat* FormatForExtension(const std::string& extension);

// The encoders feedcat uses for muxer unless told otherwise, for an output with that extension
// ("" when unknown): either is null when the container takes no such stream or this FFmpeg has
// no encoder for it. An extension of sound alone (.m4a) gets no video.
void DefaultEncoders(const AVOutputFormat* muxer, const std::string& extension,
                     const AVCodec** video, const AVCodec** audio);

// What --formats prints: a line per container.
std::string FormatsText();

}  // namespace feedcat
