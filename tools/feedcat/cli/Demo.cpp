#include "cli/Demo.h"

#include <string>

namespace feedcat {

void ApplyDemo(Options* options) {
    auto add = [options](SourceKind kind, const char* file, std::int32_t start, std::int32_t stop) {
        SourceArg source;
        source.kind = kind;
        source.file = file;
        source.hasTimes = true;
        source.startMs = start;
        source.stopMs = stop;
        source.given = std::string(kind == SourceKind::kVideo ? "v:" : "a:") + file + "@" +
                       std::to_string(start) + "-" + std::to_string(stop);
        options->sources.push_back(source);
    };
    // A 16:9 moving pattern, cut from 0.5 s to 3.5 s, then a 4:3 one shown with bars.
    add(SourceKind::kVideo, "lavfi:testsrc2=size=640x360:rate=25:duration=4", 500, 3500);
    add(SourceKind::kVideo, "lavfi:testsrc=size=320x240:rate=25:duration=4", 0, 3000);
    // Two tones under them, cut the same way.
    add(SourceKind::kAudio, "lavfi:sine=frequency=440:sample_rate=44100:duration=4", 500, 3500);
    add(SourceKind::kAudio, "lavfi:sine=frequency=660:sample_rate=44100:duration=4", 0, 3000);

    if (options->width == 0) {
        options->width = 640;
        options->height = 360;
    }
    if (!options->fps.given()) {
        options->fps = FrameRate{25, 1};
    }
    if (options->sampleRate == 0) {
        options->sampleRate = 44100;
    }
    if (!options->hasBars) {
        options->hasBars = true;
        options->barsColour = 0x203050;
    }
    if (!options->videoFadeIn.enabled) {
        options->videoFadeIn = VideoFade{true, false, 1000, 0x000000};
    }
    if (!options->videoFadeOut.enabled) {
        options->videoFadeOut = VideoFade{true, false, 1000, 0xFFFFFF};
    }
    if (!options->audioFadeIn.enabled) {
        options->audioFadeIn = AudioFade{true, false, 1000};
    }
    if (!options->audioFadeOut.enabled) {
        options->audioFadeOut = AudioFade{true, false, 1000};
    }
}

}  // namespace feedcat
