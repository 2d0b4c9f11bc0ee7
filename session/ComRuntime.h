// ComRuntime: enters the component runtime for the life of the object, on the thread that
// made it (the session worker). Windows only; elsewhere it does nothing.
#pragma once

class ComRuntime {
  public:
    ComRuntime();
    ~ComRuntime();
    ComRuntime(const ComRuntime&) = delete;
    ComRuntime& operator=(const ComRuntime&) = delete;
};
