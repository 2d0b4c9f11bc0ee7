// The library calls the engine through dllimport slots (__imp_Name), which TARN.dll's import
// library provides in feed.dll. The test programs link the fake engine in instead, so here
// those slots point at the fake's functions. Compiled with TARN_BUILDING, so the names below
// are the functions themselves and not their slots.
#include "engine/MediaEngine.h"

// 32-bit slot names carry the __stdcall argument bytes, as the symbols in engine/tarn.def.
#if defined(_WIN64)
#define TARN_IMPORT_SLOT(name, bytes)                                                          \
    extern "C" __attribute__((used)) const void* const importSlot_##name asm("__imp_" #name) = \
        reinterpret_cast<const void*>(&name)
#else
#define TARN_IMPORT_SLOT(name, bytes)                                     \
    extern "C" __attribute__((used))                                      \
    const void* const importSlot_##name asm("__imp__" #name "@" #bytes) = \
        reinterpret_cast<const void*>(&name)
#endif

TARN_IMPORT_SLOT(CreateSimpleCompositeSource, 8);
TARN_IMPORT_SLOT(CreateEmptySource, 8);
TARN_IMPORT_SLOT(SelectSources, 20);
TARN_IMPORT_SLOT(CreateCallBackMediaAcceptor, 16);
TARN_IMPORT_SLOT(CreateAudioVideoSync, 8);
