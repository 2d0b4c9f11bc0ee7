// ComRuntime: enters the component runtime for the life of the object, on the thread that
// made it (the session worker). Windows only; elsewhere it does nothing.
#pragma once

namespace session {

class ComRuntime {
  public:
    ComRuntime();
    // Leaves the runtime. A structured exception raised inside that is caught and ignored.
    ~ComRuntime();
    ComRuntime(const ComRuntime&) = delete;
    ComRuntime& operator=(const ComRuntime&) = delete;

    // What the destructor calls to leave the runtime (CoUninitialize); null puts that back.
    // For tests, which put a function that faults in its place; set while no session runs.
    static void SetUninitializeForTesting(void (*uninitialize)());
};

}  // namespace session
