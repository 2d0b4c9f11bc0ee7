// Telling apart what each of feedcat's threads costs: a thread's own CPU time. Threads are
// named by their role with media/ThreadNames.h.
#pragma once

#include <cstdint>

#include "media/ThreadNames.h"

namespace feedcat {

using media::NameForNewThreads;
using media::NameThisThread;

// The calling thread's CPU time so far, in nanoseconds.
std::int64_t ThisThreadCpuNs();

}  // namespace feedcat
