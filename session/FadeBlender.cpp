#include "session/FadeBlender.h"

#include <atomic>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define FEED_BLEND_AVX2 1
#endif

namespace session {

namespace {

// Static storage: zero-initialised at load, filled once by BuildTables, never freed.
BlendTables gTables;

// 1 once both tables are complete. Stored with release after the last table write and read with
// acquire, so a thread that sees 1 also sees every table byte.
std::atomic<uint32_t> gTablesBuilt{0};

// Number of times FillTables ran; stays at 1 for the life of the process.
std::atomic<uint32_t> gTableBuildCount{0};

// Serialises the first build when several threads construct their first blender at once.
std::once_flag gBuildOnce;

void FillTables() {
    for (uint32_t a = 0; a < 256; ++a) {
        for (uint32_t v = 0; v < 256; ++v) {
            gTables.source[a][v] = static_cast<uint8_t>((a * v) / 255);
            gTables.colour[a][v] = static_cast<uint8_t>(((255 - a) * v) / 255);
        }
    }
    gTableBuildCount.fetch_add(1, std::memory_order_relaxed);
    gTablesBuilt.store(1, std::memory_order_release);
}

#if defined(__SSE2__) || defined(FEED_BLEND_AVX2)
// The source term floor(a * s / 255) for a in 0..254 and s in 0..255 equals
// (s * (257 * a + 1)) >> 16: with a * s = 255 * n + r (r < 255) the product is
// 65536 * n + (s - n) + 257 * r, and 0 <= s - n + 257 * r < 65536. This turns the per-byte table
// look-up into one 16-bit high multiply. Level 255 (multiplier 65536) never gets here; Blend
// copies for it. FadeBlenderTest checks Blend against the truncating formula for every level,
// source byte and colour byte.
uint16_t SourceMultiplier(uint32_t a) {
    return static_cast<uint16_t>(257 * a + 1);
}
#endif

#if defined(__SSE2__)
// Blends whole 16-byte blocks (four pixels) and returns how many bytes it did; the caller does
// the rest with the tables. `colourTerms` holds k_0..k_3 in bytes 0..3, matching one pixel.
uint32_t BlendBlocksSse2(uint8_t* destination, const uint8_t* source, uint32_t length,
                         uint16_t multiplier, uint32_t colourTerms) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i m = _mm_set1_epi16(static_cast<int16_t>(multiplier));
    const __m128i k = _mm_set1_epi32(static_cast<int32_t>(colourTerms));
    const uint32_t blocked = length & ~15u;
    for (uint32_t i = 0; i < blocked; i += 16) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        // Widen to 16 bits, take the high half of s * multiplier (<= 254 so packus never
        // saturates), narrow, then add the colour term per byte (sum <= 255, no wrap).
        const __m128i low = _mm_mulhi_epu16(_mm_unpacklo_epi8(s, zero), m);
        const __m128i high = _mm_mulhi_epu16(_mm_unpackhi_epi8(s, zero), m);
        const __m128i mixed = _mm_add_epi8(_mm_packus_epi16(low, high), k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), mixed);
    }
    return blocked;
}
#endif

#if defined(FEED_BLEND_AVX2)
// The same as BlendBlocksSse2 on 32-byte blocks (eight pixels). The 256-bit unpacks and the
// pack work within each 128-bit half, so bytes come back in their own places, as there.
__attribute__((target("avx2"))) uint32_t BlendBlocksAvx2(uint8_t* destination,
                                                         const uint8_t* source, uint32_t length,
                                                         uint16_t multiplier,
                                                         uint32_t colourTerms) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i m = _mm256_set1_epi16(static_cast<int16_t>(multiplier));
    const __m256i k = _mm256_set1_epi32(static_cast<int32_t>(colourTerms));
    const uint32_t blocked = length & ~31u;
    for (uint32_t i = 0; i < blocked; i += 32) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        const __m256i low = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(s, zero), m);
        const __m256i high = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(s, zero), m);
        const __m256i mixed = _mm256_add_epi8(_mm256_packus_epi16(low, high), k);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), mixed);
    }
    return blocked;
}
#endif

bool Available(BlendKernel kernel) {
    switch (kernel) {
        case BlendKernel::Table:
            return true;
        case BlendKernel::Sse2:
#if defined(__SSE2__)
            return true;
#else
            return false;
#endif
        case BlendKernel::Avx2:
#if defined(FEED_BLEND_AVX2)
            return __builtin_cpu_supports("avx2") != 0;
#else
            return false;
#endif
    }
    return false;
}

// The widest kernel the processor has, chosen once for the process.
BlendKernel Widest() {
    return Available(BlendKernel::Avx2)   ? BlendKernel::Avx2
           : Available(BlendKernel::Sse2) ? BlendKernel::Sse2
                                          : BlendKernel::Table;
}

std::atomic<BlendKernel> gKernel{Widest()};

}  // namespace

FadeBlender::FadeBlender() {
    BuildTables();
}

FadeBlender::~FadeBlender() = default;

void FadeBlender::BuildTables() {
    if (gTablesBuilt.load(std::memory_order_acquire) != 0) {
        return;
    }
    std::call_once(gBuildOnce, FillTables);
}

bool FadeBlender::TablesBuilt() {
    return gTablesBuilt.load(std::memory_order_acquire) != 0;
}

const BlendTables& FadeBlender::Tables() {
    return gTables;
}

BlendKernel FadeBlender::Kernel() {
    return gKernel.load(std::memory_order_relaxed);
}

bool FadeBlender::UseKernel(BlendKernel kernel) {
    if (!Available(kernel)) {
        return false;
    }
    gKernel.store(kernel, std::memory_order_relaxed);
    return true;
}

uint32_t FadeBlender::TableBuildCount() {
    return gTableBuildCount.load(std::memory_order_acquire);
}

void FadeBlender::Blend(uint8_t* destination, uint32_t colour, const uint8_t* source,
                        uint32_t length, int32_t level) const {
    if (length == 0 || destination == nullptr || source == nullptr) {
        return;
    }
    const uint32_t a = static_cast<uint32_t>(level) & 0xFFu;
    const uint8_t* sourceRow = gTables.source[a];
    const uint8_t* colourRow = gTables.colour[a];

    // The colour's share of each byte of the pixel is the same for the whole run: byte k of the
    // colour goes into byte k of every pixel, the fourth byte included.
    uint8_t k[4];
    for (uint32_t i = 0; i < 4; ++i) {
        k[i] = colourRow[(colour >> (8 * i)) & 0xFFu];
    }

    // Level 255 is the picture unchanged (source row is the identity, colour row all zero).
    if (a == 255) {
        if (destination != source) {
            std::memcpy(destination, source, length);
        }
        return;
    }

    uint32_t done = 0;
    [[maybe_unused]] const uint32_t colourTerms =
        static_cast<uint32_t>(k[0]) | static_cast<uint32_t>(k[1]) << 8 |
        static_cast<uint32_t>(k[2]) << 16 | static_cast<uint32_t>(k[3]) << 24;
    switch (gKernel.load(std::memory_order_relaxed)) {
        case BlendKernel::Avx2:
#if defined(FEED_BLEND_AVX2)
            done = BlendBlocksAvx2(destination, source, length, SourceMultiplier(a), colourTerms);
#endif
            break;
        case BlendKernel::Sse2:
#if defined(__SSE2__)
            done = BlendBlocksSse2(destination, source, length, SourceMultiplier(a), colourTerms);
#endif
            break;
        case BlendKernel::Table:
            break;
    }

    // Whatever the vector kernel left (all of it where there is none): whole pixels by table.
    const uint32_t pixels = length / 4;
    for (uint32_t p = done / 4; p < pixels; ++p) {
        const uint8_t* s = source + 4 * p;
        uint8_t* d = destination + 4 * p;
        d[0] = static_cast<uint8_t>(sourceRow[s[0]] + k[0]);
        d[1] = static_cast<uint8_t>(sourceRow[s[1]] + k[1]);
        d[2] = static_cast<uint8_t>(sourceRow[s[2]] + k[2]);
        d[3] = static_cast<uint8_t>(sourceRow[s[3]] + k[3]);
    }
    // Trailing partial pixel: byte i of it is still byte i of a pixel.
    for (uint32_t i = 4 * pixels; i < length; ++i) {
        destination[i] = static_cast<uint8_t>(sourceRow[source[i]] + k[i & 3u]);
    }
}

}  // namespace session
