#include "feed/EngineReader.h"

#include <initializer_list>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace feed {

namespace {

// A function pointer as the loader's address type, to ask which module holds it.
template <typename Function>
void* AddressOf(Function function) {
    return reinterpret_cast<void*>(function);
}

CreateMediaReaderFunction Lookup() {
    // The engine library is the one that holds the engine functions the library calls.
#if defined(_WIN32)
    HMODULE engine = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(AddressOf(&SelectSources)), &engine)) {
        return nullptr;
    }
    // Named plainly, or with the argument bytes of the 32-bit __stdcall convention.
    for (const char* name :
         {kCreateMediaReaderName, "CreateMediaReader@8", "_CreateMediaReader@8"}) {
        if (FARPROC found = GetProcAddress(engine, name)) {
            return reinterpret_cast<CreateMediaReaderFunction>(reinterpret_cast<void*>(found));
        }
    }
    return nullptr;
#else
    void* found = nullptr;
    Dl_info where{};
    if (dladdr(AddressOf(&SelectSources), &where) != 0 && where.dli_fname != nullptr) {
        // Already loaded: this only takes a reference, which is given back at once.
        if (void* engine = dlopen(where.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) {
            found = dlsym(engine, kCreateMediaReaderName);
            dlclose(engine);
        }
    }
    if (found == nullptr) {
        found = dlsym(RTLD_DEFAULT, kCreateMediaReaderName);
    }
    return reinterpret_cast<CreateMediaReaderFunction>(found);
#endif
}

}  // namespace

CreateMediaReaderFunction FindCreateMediaReader() {
    static const CreateMediaReaderFunction found = Lookup();
    return found;
}

}  // namespace feed
