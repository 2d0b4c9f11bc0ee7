#include "session/ComRuntime.h"

#if defined(_WIN32)
#include <objbase.h>

// The result is not looked at: a thread that cannot enter the runtime still runs its session
// with whatever the engine manages without it.
ComRuntime::ComRuntime() {
    CoInitialize(nullptr);
}
ComRuntime::~ComRuntime() {
    CoUninitialize();
}
#else
ComRuntime::ComRuntime() = default;
ComRuntime::~ComRuntime() = default;
#endif
