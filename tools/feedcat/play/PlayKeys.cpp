#include "play/PlayKeys.h"

namespace feedcat {

const std::vector<PlayKey>& PlayKeys() {
    static const std::vector<PlayKey> keys = {
        {"space", "Space", PlayAction::kPauseResume, "pause, and resume where it stopped"},
        {"q", "Q", PlayAction::kStop, "stop"},
        {"Esc", "Escape", PlayAction::kStop, "stop"},
        {"f", "F", PlayAction::kFullscreen, "full screen on and off"},
        {"m", "M", PlayAction::kMute, "sound off and on"},
    };
    return keys;
}

}  // namespace feedcat
