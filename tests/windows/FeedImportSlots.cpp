// The test programs link the library's objects in, yet the C host (HeaderFromC.c) is compiled
// as a Windows host is: its calls go through the dllimport slots (__imp_Name) that an import
// library would provide. Here those slots point at the functions linked into the program.
#include <feed/feed.h>

#include "tests/feed/FeedExportList.h"

// 32-bit slot names carry the __stdcall argument bytes, as the symbols in feed/feed.def.
#if defined(_WIN64)
#define FEED_IMPORT_SLOT(name, bytes)                                                          \
    extern "C" __attribute__((used)) const void* const importSlot_##name asm("__imp_" #name) = \
        reinterpret_cast<const void*>(&name);
#else
#define FEED_IMPORT_SLOT(name, bytes)                                     \
    extern "C" __attribute__((used))                                      \
    const void* const importSlot_##name asm("__imp__" #name "@" #bytes) = \
        reinterpret_cast<const void*>(&name);
#endif

FEED_FOR_EACH_EXPORT(FEED_IMPORT_SLOT)
FEED_FOR_EACH_READER_EXPORT(FEED_IMPORT_SLOT)
