#include "tests/support/media/LosslessClips.h"

#include "tests/support/media/TestPictures.h"

namespace testmedia {

VideoTrack LosslessVideo(int width, int height, int frames) {
    VideoTrack video;
    video.encoders = {"ffv1"};
    video.width = width;
    video.height = height;
    video.frameRate = AVRational{25, 1};
    video.timeBase = AVRational{1, 25};
    video.times = EvenTimes(frames);
    video.range = AVCOL_RANGE_MPEG;
    return video;
}

bool WriteLosslessVideo(const std::string& path, const VideoTrack& video, std::string* error) {
    return WriteMediaFile(path, MediaFile{"matroska", &video, nullptr}, error);
}

bool WritePatternAndTone(const std::string& folder, const std::string& name, int width, int height,
                         int lengthMs, bool video, bool audio, std::string* error) {
    VideoTrack pictures = LosslessVideo(width, height, lengthMs * 25 / 1000);
    pictures.paint = PaintBarCode;
    AudioTrack tone;
    tone.sampleRate = 8000;
    tone.channels = 1;
    tone.frames = static_cast<std::int64_t>(lengthMs) * 8;
    tone.sample = [](std::int64_t index, int) { return 0.5 * Sine(440, 8000, index); };
    const bool wav = name.size() > 4 && name.compare(name.size() - 4, 4, ".wav") == 0;
    const MediaFile file{wav ? "wav" : "matroska", video ? &pictures : nullptr,
                         audio ? &tone : nullptr};
    if (!WriteMediaFile(folder + "/" + name, file, error)) {
        *error = "writing " + name + " failed: " + *error;
        return false;
    }
    return true;
}

}  // namespace testmedia
