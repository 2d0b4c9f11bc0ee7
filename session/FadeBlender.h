#pragma once

#include <cstdint>

namespace session {

// Precomputed 8-bit products for the fade mix. Row = fade level a (0..255), column = byte value
// v (0..255):
//   source[a][v] = (a * v) / 255          weight of the picture at level a
//   colour[a][v] = ((255 - a) * v) / 255  weight of the fade colour at level a
// Both are truncating integer divisions, so source[a][s] + colour[a][c] <= 255 for every a, s, c
// and the blended byte never wraps.
struct BlendTables {
    uint8_t source[256][256];
    uint8_t colour[256][256];
};

// How Blend does the bulk of a run: by the tables, or with 16-byte (SSE2) or 32-byte (AVX2)
// vector blocks. All three give the same bytes.
enum class BlendKernel { Table, Sse2, Avx2 };

// Mixes a run of 32-bit pixels with one solid colour at one of 256 levels: level 255 keeps the
// picture, level 0 replaces it with the colour, all four bytes of each pixel alike. Video
// fade-in/out call Blend once per faded frame.
//
// The two product tables are process-wide, zero until built, built once by the first blender
// constructed (from whichever thread gets there first) and never freed. The object itself holds
// no state, so one blender may be used from any number of threads at once.
class FadeBlender {
  public:
    // Builds the process-wide tables if no blender has done so yet.
    FadeBlender();
    virtual ~FadeBlender();

    FadeBlender(const FadeBlender&) = default;
    FadeBlender& operator=(const FadeBlender&) = default;

    // Writes destination[i] = source[a][source[i]] + colour[a][c_(i mod 4)] for i < length,
    // where a = level & 0xFF (so 256 acts as 0, -1 and 511 as 255) and c_0..c_3 are the bytes of
    // `colour` from least to most significant: byte k of `colour` is mixed into byte k of every
    // pixel, e.g. 0xXXRRGGBB for a B G R X frame, its high byte mixed into the fourth byte.
    //
    // length is in bytes. If it is not a multiple of 4, the trailing 1..3 bytes are a partial
    // pixel and are blended with the colour bytes at their position in the pixel; nothing at or
    // past destination[length] or source[length] is read or written. length 0, or a null
    // destination or source, does nothing.
    //
    // destination may equal source (blend in place); otherwise the two runs must not overlap.
    void Blend(uint8_t* destination, uint32_t colour, const uint8_t* source, uint32_t length,
               int32_t level) const;

    // Fills both tables and then marks them built; returns at once if they are already built.
    // Safe to call from several threads at once: exactly one of them fills the tables and the
    // others wait until it is done.
    static void BuildTables();

    // True once both tables are completely filled. Safe to call from any thread.
    static bool TablesBuilt();

    // The process-wide tables, for tests and diagnostics. All zero until TablesBuilt().
    static const BlendTables& Tables();

    // The kernel Blend uses: the widest the processor has, chosen once when the library loads.
    static BlendKernel Kernel();
    // Makes Blend use `kernel` from now on, for every blender of the process, when the processor
    // has it (false otherwise). For tests and benchmarks, which compare the kernels.
    static bool UseKernel(BlendKernel kernel);

    // How many times this process has filled the tables: 0 before the first blender, 1 after.
    // Lets tests check the build-once guarantee.
    static uint32_t TableBuildCount();
};

}  // namespace session
