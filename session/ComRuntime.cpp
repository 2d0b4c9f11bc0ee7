#include "session/ComRuntime.h"

#include <atomic>

#include "session/FaultGuard.h"

#if defined(_WIN32)
#include <objbase.h>
#endif

namespace session {

#if defined(_WIN32)
namespace {
void LeaveRuntime() {
    CoUninitialize();
}

// Written by tests between sessions, read by the worker as it ends.
std::atomic<void (*)()> gUninitialize{LeaveRuntime};
}  // namespace

// The result is not looked at: a thread that cannot enter the runtime still runs its session
// with whatever the engine manages without it.
ComRuntime::ComRuntime() {
    CoInitialize(nullptr);
}

// Every engine object of the session has been released before this runs, so the runtime has
// nothing of ours left to tear down: a fault inside it is the system's, and the session ends
// as it would have. The frames inside are unwound before this goes on (see FaultGuard), so the
// runtime's own clean-up runs and its locks are released.
ComRuntime::~ComRuntime() {
    CallCatchingFaults(gUninitialize.load());
}

void ComRuntime::SetUninitializeForTesting(void (*uninitialize)()) {
    gUninitialize.store(uninitialize != nullptr ? uninitialize : LeaveRuntime);
}
#else
ComRuntime::ComRuntime() = default;
ComRuntime::~ComRuntime() = default;
void ComRuntime::SetUninitializeForTesting(void (*)()) {}
#endif

}  // namespace session
