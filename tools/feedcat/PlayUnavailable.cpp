// Play() of a feedcat built without SDL2.
#include "ExitCodes.h"
#include "Log.h"
#include "Play.h"

namespace feedcat {

int Play(const Options&, SignalWatcher*) {
    LogError(
        "this feedcat was built without playback (SDL2 was not found when it was built): "
        "--play is not available; write a file with -o instead");
    return kExitUsage;
}

}  // namespace feedcat
