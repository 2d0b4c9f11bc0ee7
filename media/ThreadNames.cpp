#include "media/ThreadNames.h"

#if defined(__linux__)
#include <pthread.h>
#endif

namespace media {

void NameThisThread(const char* name) {
#if defined(__linux__)
    char shortened[16] = {};
    for (std::size_t i = 0; i + 1 < sizeof(shortened) && name[i] != '\0'; ++i) {
        shortened[i] = name[i];
    }
    pthread_setname_np(pthread_self(), shortened);
#else
    (void)name;
#endif
}

NameForNewThreads::NameForNewThreads(const char* name) {
#if defined(__linux__)
    char current[16] = {};
    if (pthread_getname_np(pthread_self(), current, sizeof(current)) == 0) {
        previous_ = current;
    }
#endif
    NameThisThread(name);
}

NameForNewThreads::~NameForNewThreads() {
    if (!previous_.empty()) {
        NameThisThread(previous_.c_str());
    }
}

}  // namespace media
