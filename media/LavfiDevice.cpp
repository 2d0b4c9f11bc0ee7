#include "media/LavfiDevice.h"

#include <dlfcn.h>

#include <string>

extern "C" {
#include <libavdevice/version.h>
#include <libavformat/avformat.h>
}

namespace media {
namespace {

// The libavdevice this build was compiled against: its major version names its ABI.
std::string DeviceLibraryName() {
#if defined(__APPLE__)
    return "libavdevice." + std::to_string(LIBAVDEVICE_VERSION_MAJOR) + ".dylib";
#else
    return "libavdevice.so." + std::to_string(LIBAVDEVICE_VERSION_MAJOR);
#endif
}

const AVInputFormat* LoadLavfi() {
    // Never closed: the devices it registers stay in libavformat's list.
    void* library = dlopen(DeviceLibraryName().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    using RegisterAll = void (*)();
    const auto registerAll = reinterpret_cast<RegisterAll>(dlsym(library, "avdevice_register_all"));
    if (registerAll == nullptr) {
        return nullptr;
    }
    registerAll();
    return av_find_input_format("lavfi");
}

}  // namespace

const AVInputFormat* LavfiInputFormat() {
    // Static initialisation is thread-safe and runs once, also when it yields null.
    static const AVInputFormat* const lavfi = LoadLavfi();
    return lavfi;
}

}  // namespace media
