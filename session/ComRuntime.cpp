#include "session/ComRuntime.h"

#if defined(_WIN32)
#include <objbase.h>

// The result is not looked at: a thread that cannot enter the runtime still runs its session
// with whatever the engine manages without it.
ComRuntime::ComRuntime() {
    CoInitialize(nullptr);
}

// A structured exception raised inside CoUninitialize is not caught here. GCC (MinGW-w64)
// has no __try/__except, and nothing else catches it soundly: a vectored handler sees the
// fault but cannot resume at a defined point in this frame without the unwinding that only
// __except provides, and a longjmp out of it would skip the runtime's own clean-up and leave
// its locks held. Every engine object of the session has been released before this runs, so
// the runtime has nothing of ours left to tear down; a fault here is a fault in the system
// and is left to the process's own handling.
ComRuntime::~ComRuntime() {
    CoUninitialize();
}
#else
ComRuntime::ComRuntime() = default;
ComRuntime::~ComRuntime() = default;
#endif
