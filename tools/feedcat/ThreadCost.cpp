#include "ThreadCost.h"

#include <pthread.h>

#include <ctime>

namespace feedcat {

void NameThisThread(const char* name) {
    char shortened[16] = {};
    for (std::size_t i = 0; i + 1 < sizeof(shortened) && name[i] != '\0'; ++i) {
        shortened[i] = name[i];
    }
    pthread_setname_np(pthread_self(), shortened);
}

std::int64_t ThisThreadCpuNs() {
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

NameForNewThreads::NameForNewThreads(const char* name) {
    char current[16] = {};
    if (pthread_getname_np(pthread_self(), current, sizeof(current)) == 0) {
        previous_ = current;
    }
    NameThisThread(name);
}

NameForNewThreads::~NameForNewThreads() {
    if (!previous_.empty()) {
        NameThisThread(previous_.c_str());
    }
}

}  // namespace feedcat
