// Play() of a feedcat built without SDL2.
#include "cli/ExitCodes.h"
#include "play/Play.h"
#include "play/PlayReport.h"

namespace feedcat {

int Play(const Options& options, std::vector<SourceWarning>, SignalWatcher*) {
    return EndPlayEarly(kExitUsage,
                        RunError{"usage",
                                 "this feedcat was built without playback (SDL2 was not found when "
                                 "it was built): --play is not available; write a file with -o "
                                 "instead",
                                 ""},
                        options.json);
}

}  // namespace feedcat
