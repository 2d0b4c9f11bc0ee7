// Holds SIGINT and SIGTERM back from the calling thread while the object lives, so that their
// handler never sees what the thread is half-way through writing for it. They arrive when the
// object goes.
#pragma once

#include <pthread.h>
#include <signal.h>

namespace feedcat {

class HeldSignals {
  public:
    HeldSignals() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    sigset_t previous_;
};

}  // namespace feedcat
