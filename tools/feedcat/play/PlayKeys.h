// The keys of the --play window, in one table: the player's key handling, the keys section of
// --help and the test that holds the README and the man page to it all read it.
#pragma once

#include <vector>

namespace feedcat {

enum class PlayAction { kPauseResume, kStop, kFullscreen, kMute };

struct PlayKey {
    const char* name = "";     // as the documentation writes it: "space", "q", "Esc"
    const char* sdlName = "";  // the key's name for SDL_GetKeyFromName: "Space", "Q", "Escape"
    PlayAction action = PlayAction::kStop;
    const char* help = "";  // what it does, for --help
};

const std::vector<PlayKey>& PlayKeys();

}  // namespace feedcat
