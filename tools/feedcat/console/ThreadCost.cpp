#include "console/ThreadCost.h"

#include <ctime>

namespace feedcat {

std::int64_t ThisThreadCpuNs() {
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace feedcat
