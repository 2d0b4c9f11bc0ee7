#include "play/Play.h"

namespace feedcat {

std::string PlayConflict(const Options& options, bool outputGiven) {
    if (!options.play) {
        return "";
    }
    if (outputGiven) {
        return "--play shows the sources in a window and writes no file: give -o or --play, "
               "not both";
    }
    const bool encoding = !options.format.empty() || !options.videoCodec.empty() ||
                          !options.audioCodec.empty() || options.crf >= 0.0 ||
                          !options.preset.empty() || options.videoBitrate > 0 ||
                          options.audioBitrate > 0 || options.overwrite || options.noOverwrite;
    if (encoding) {
        return "--play writes no file: the output file and encoding options go with -o";
    }
    return "";
}

}  // namespace feedcat
