#include "session/FadeBlender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace session {

namespace {

// The mix the tables encode, computed directly: floor(a*s/255) + floor((255-a)*c/255).
uint32_t ExpectedByte(uint32_t a, uint32_t s, uint32_t c) {
    return (a * s) / 255 + ((255 - a) * c) / 255;
}

uint32_t ColourByte(uint32_t colour, uint32_t index) {
    return (colour >> (8 * (index & 3u))) & 0xFFu;
}

// Byte `index` of a blended run: the source byte mixed with the colour byte of its position in
// the pixel, the fourth byte as much as the other three.
uint32_t ExpectedAt(uint32_t a, uint32_t s, uint32_t colour, uint32_t index) {
    return ExpectedByte(a, s, ColourByte(colour, index));
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& value : bytes) {
        value = static_cast<uint8_t>(byte(engine));
    }
    return bytes;
}

std::vector<uint8_t> BlendCopy(const FadeBlender& blender, const std::vector<uint8_t>& source,
                               uint32_t colour, int32_t level) {
    std::vector<uint8_t> destination(source.size(), 0);
    blender.Blend(destination.data(), colour, source.data(), static_cast<uint32_t>(source.size()),
                  level);
    return destination;
}

// True if both tables hold exactly the products they are defined as.
bool TablesMatchFormula(const BlendTables& tables) {
    for (uint32_t a = 0; a < 256; ++a) {
        for (uint32_t v = 0; v < 256; ++v) {
            if (tables.source[a][v] != (a * v) / 255 ||
                tables.colour[a][v] != ((255 - a) * v) / 255) {
                return false;
            }
        }
    }
    return true;
}

bool TablesAllZero(const BlendTables& tables) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&tables);
    for (size_t i = 0; i < sizeof(BlendTables); ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

// Starts `threads` threads that each construct a blender at (as near as possible) the same
// moment and blend one pixel with it. Returns how many of them got a wrong pixel.
int ConstructBlendersConcurrently(int threads) {
    std::atomic<int> waiting{threads};
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&waiting, &wrong] {
            // Spin until every thread is ready so the constructors really overlap.
            waiting.fetch_sub(1);
            while (waiting.load() > 0) {
                std::this_thread::yield();
            }
            FadeBlender blender;
            const uint8_t source[4] = {255, 0, 200, 128};
            uint8_t destination[4] = {};
            blender.Blend(destination, 0x80'0A'FF'00u, source, 4, 128);
            if (destination[0] != 128 || destination[1] != 127 || destination[2] != 104 ||
                destination[3] != 127) {
                wrong.fetch_add(1);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    return wrong.load();
}

constexpr int kRacingThreads = 8;

}  // namespace

// Runs `check` once with each blend kernel this processor has (the table, SSE2, AVX2), so the
// kernels are all held to the same bytes; the kernel chosen for the process is restored after.
template <typename Check>
void ForEachKernel(Check check) {
    const BlendKernel chosen = FadeBlender::Kernel();
    for (const BlendKernel kernel : {BlendKernel::Table, BlendKernel::Sse2, BlendKernel::Avx2}) {
        if (FadeBlender::UseKernel(kernel)) {
            SCOPED_TRACE("kernel " + std::to_string(static_cast<int>(kernel)));
            check();
        }
    }
    FadeBlender::UseKernel(chosen);
}

TEST(FadeBlenderTest, TablesHoldTruncatedProductsWithIdentityAndZeroRows) {
    FadeBlender blender;
    ASSERT_TRUE(FadeBlender::TablesBuilt());
    const BlendTables& tables = FadeBlender::Tables();
    EXPECT_TRUE(TablesMatchFormula(tables));
    for (uint32_t v = 0; v < 256; ++v) {
        EXPECT_EQ(tables.source[255][v], v) << "v=" << v;
        EXPECT_EQ(tables.colour[0][v], v) << "v=" << v;
        EXPECT_EQ(tables.source[0][v], 0) << "v=" << v;
        EXPECT_EQ(tables.colour[255][v], 0) << "v=" << v;
    }
    // Both rows grow with v, so the largest sum at a level is at s = c = 255; it must fit a byte.
    for (uint32_t a = 0; a < 256; ++a) {
        EXPECT_LE(tables.source[a][255] + tables.colour[a][255], 255) << "a=" << a;
    }
}

TEST(FadeBlenderTest, ZeroLengthOrNullBufferTouchesNothing) {
    FadeBlender blender;
    const std::vector<uint8_t> source = RandomBytes(64, 1);
    std::vector<uint8_t> destination(64, 0xAB);
    blender.Blend(destination.data(), 0x11223344u, source.data(), 0, 128);
    EXPECT_EQ(destination, std::vector<uint8_t>(64, 0xAB));

    // No buffer is dereferenced for an empty run, nor when either buffer is missing.
    blender.Blend(nullptr, 0x11223344u, nullptr, 0, 128);
    blender.Blend(nullptr, 0x11223344u, source.data(), 64, 128);
    blender.Blend(destination.data(), 0x11223344u, nullptr, 64, 128);
    EXPECT_EQ(destination, std::vector<uint8_t>(64, 0xAB));
}

TEST(FadeBlenderTest, Level255CopiesSource) {
    FadeBlender blender;
    for (uint32_t length : {1u, 3u, 4u, 17u, 64u, 1001u, 4096u}) {
        const std::vector<uint8_t> source = RandomBytes(length, length);
        EXPECT_EQ(BlendCopy(blender, source, 0xFFFFFFFFu, 255), source) << "length=" << length;

        std::vector<uint8_t> inPlace = source;
        blender.Blend(inPlace.data(), 0x12345678u, inPlace.data(), length, 255);
        EXPECT_EQ(inPlace, source) << "length=" << length;
    }
}

TEST(FadeBlenderTest, Level0PutsColourInEveryPixel) {
    FadeBlender blender;
    const uint32_t colour = 0xC0FFEE42u;
    const std::vector<uint8_t> source = RandomBytes(4 * 1000, 2);
    const std::vector<uint8_t> result = BlendCopy(blender, source, colour, 0);
    for (size_t i = 0; i < result.size(); ++i) {
        ASSERT_EQ(result[i], ColourByte(colour, static_cast<uint32_t>(i))) << "byte " << i;
    }
}

TEST(FadeBlenderTest, LevelUsesOnlyItsLowByte) {
    FadeBlender blender;
    const uint32_t colour = 0x5A3C1E99u;
    const std::vector<uint8_t> source = RandomBytes(4 * 333 + 2, 3);
    const std::vector<uint8_t> atZero = BlendCopy(blender, source, colour, 0);
    const std::vector<uint8_t> atFull = BlendCopy(blender, source, colour, 255);
    const std::vector<uint8_t> atHalf = BlendCopy(blender, source, colour, 128);
    EXPECT_EQ(BlendCopy(blender, source, colour, 256), atZero);
    EXPECT_EQ(BlendCopy(blender, source, colour, -256), atZero);
    EXPECT_EQ(BlendCopy(blender, source, colour, -1), atFull);
    EXPECT_EQ(BlendCopy(blender, source, colour, 511), atFull);
    EXPECT_EQ(BlendCopy(blender, source, colour, 384), atHalf);
    EXPECT_EQ(BlendCopy(blender, source, colour, -128), atHalf);
    EXPECT_EQ(BlendCopy(blender, source, colour, INT32_MIN), atZero);
    EXPECT_EQ(BlendCopy(blender, source, colour, INT32_MAX), atFull);
}

TEST(FadeBlenderTest, HalfLevelKnownValues) {
    FadeBlender blender;
    struct Case {
        uint8_t source;
        uint8_t colour;
        uint8_t expected;
    };
    const Case cases[] = {{255, 0, 128}, {0, 255, 127}, {200, 10, 104}, {128, 128, 127}};
    for (const Case& c : cases) {
        // Repeat the pair over every byte position and past one vector block.
        const std::vector<uint8_t> source(4 * 9, c.source);
        const uint32_t colour = c.colour * 0x01010101u;
        const std::vector<uint8_t> result = BlendCopy(blender, source, colour, 128);
        EXPECT_EQ(result, std::vector<uint8_t>(source.size(), c.expected))
            << "source=" << int{c.source} << " colour=" << int{c.colour};
    }
}

TEST(FadeBlenderTest, WhiteOverWhiteStaysWhiteAtEveryLevel) {
    FadeBlender blender;
    const std::vector<uint8_t> source(4 * 9 + 3, 255);
    for (int32_t level = 0; level < 256; ++level) {
        EXPECT_EQ(BlendCopy(blender, source, 0xFFFFFFFFu, level), source) << "level=" << level;
    }
}

// Byte k of the colour goes into byte k of every pixel, the fourth byte included: a source whose
// fourth byte is 200 against a colour whose high byte is 0 carries 100 there at level 128, and a
// colour 0x40xxxxxx gives 64 there at level 0.
TEST(FadeBlenderTest, ColourByteKGoesToByteKOfEveryPixel) {
    ForEachKernel([&] {
        FadeBlender blender;
        const uint32_t colour = 0x40332211u;  // Bytes 11 22 33 40 in memory order.
        const std::vector<uint8_t> black(4 * 9, 0);
        const std::vector<uint8_t> atZero = BlendCopy(blender, black, colour, 0);
        const std::vector<uint8_t> atHalf = BlendCopy(blender, black, colour, 128);
        const uint8_t zeroPixel[4] = {0x11, 0x22, 0x33, 0x40};
        for (size_t i = 0; i < black.size(); ++i) {
            EXPECT_EQ(atZero[i], zeroPixel[i % 4]) << "byte " << i;
            EXPECT_EQ(atHalf[i], (127u * zeroPixel[i % 4]) / 255) << "byte " << i;
        }
        std::vector<uint8_t> withAlpha(4 * 9, 0);
        for (size_t i = 3; i < withAlpha.size(); i += 4) {
            withAlpha[i] = 200;
        }
        const std::vector<uint8_t> towardClear = BlendCopy(blender, withAlpha, 0x00FFFFFFu, 128);
        for (size_t i = 3; i < towardClear.size(); i += 4) {
            EXPECT_EQ(towardClear[i], 100) << "byte " << i;
        }
    });
}

TEST(FadeBlenderTest, SecondBlenderLeavesTablesUnchanged) {
    FadeBlender first;
    auto before = std::make_unique<BlendTables>(FadeBlender::Tables());
    const uint32_t builds = FadeBlender::TableBuildCount();
    EXPECT_EQ(builds, 1u);

    FadeBlender second;
    FadeBlender::BuildTables();
    EXPECT_EQ(std::memcmp(before.get(), &FadeBlender::Tables(), sizeof(BlendTables)), 0);
    EXPECT_EQ(FadeBlender::TableBuildCount(), builds);
}

TEST(FadeBlenderTest, TablesOutliveEveryBlender) {
    {
        auto blender = std::make_unique<FadeBlender>();
        FadeBlender another;
    }
    ASSERT_TRUE(FadeBlender::TablesBuilt());
    EXPECT_TRUE(TablesMatchFormula(FadeBlender::Tables()));

    FadeBlender later;
    const std::vector<uint8_t> source(8, 200);
    EXPECT_EQ(BlendCopy(later, source, 0x0A0A0A0Au, 128), std::vector<uint8_t>(8, 104));
    EXPECT_EQ(FadeBlender::TableBuildCount(), 1u);
}

// Threads constructing their first blenders at once must build the tables exactly once, and
// none may blend with half-built tables. The check in a fresh process (re-executed, so the tables
// start out unbuilt) is the real race; the in-process run afterwards still checks that blenders
// made concurrently after the build do not rebuild.
TEST(FadeBlenderTest, ConcurrentFirstBlendersBuildTablesOnce) {
#if defined(FEED_TESTS_CANNOT_REEXEC)
    // The program cannot execute itself here; it is forked instead. ctest runs each test in a
    // process of its own, in which nothing has built the tables before this point either.
    GTEST_FLAG_SET(death_test_style, "fast");
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#endif
    EXPECT_EXIT(
        {
            // Exit codes: 2 = tables already built at start, 3 = not zero before the build,
            // 4 = a thread blended wrongly, 5 = not built exactly once, 6 = wrong contents.
            if (FadeBlender::TablesBuilt() || FadeBlender::TableBuildCount() != 0) {
                std::_Exit(2);
            }
            if (!TablesAllZero(FadeBlender::Tables())) {
                std::_Exit(3);
            }
            if (ConstructBlendersConcurrently(kRacingThreads) != 0) {
                std::_Exit(4);
            }
            if (!FadeBlender::TablesBuilt() || FadeBlender::TableBuildCount() != 1) {
                std::_Exit(5);
            }
            std::_Exit(TablesMatchFormula(FadeBlender::Tables()) ? 0 : 6);
        },
        ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(ConstructBlendersConcurrently(kRacingThreads), 0);
    EXPECT_EQ(FadeBlender::TableBuildCount(), 1u);
    EXPECT_TRUE(TablesMatchFormula(FadeBlender::Tables()));
}

// Every (level, source byte, colour byte) triple, in every byte position of the pixel, through
// both the long-run path (one call over 256 pixels) and the short-run path (one call per pixel),
// against the formula computed here rather than the blender's own tables; the fourth byte is
// held to the same formula as the other three. With every kernel the processor has.
TEST(FadeBlenderTest, EveryLevelSourceAndColourByteMatchesFormula) {
    ForEachKernel([&] {
        FadeBlender blender;
        constexpr uint32_t kLength = 4 * 256;
        // Pixel p is (p, p, p, p): each byte position sees every source value once.
        std::vector<uint8_t> source(kLength);
        for (uint32_t i = 0; i < kLength; ++i) {
            source[i] = static_cast<uint8_t>(i / 4);
        }
        std::vector<uint8_t> whole(kLength);
        std::vector<uint8_t> perPixel(kLength);
        uint32_t mismatches = 0;
        for (uint32_t a = 0; a < 256; ++a) {
            for (uint32_t c = 0; c < 256; ++c) {
                // Byte position k gets colour byte c + 64k: over all c, each position sees all 256.
                const uint32_t colour = ((c & 0xFFu)) | (((c + 64) & 0xFFu) << 8) |
                                        (((c + 128) & 0xFFu) << 16) | (((c + 192) & 0xFFu) << 24);
                const int32_t level = static_cast<int32_t>(a);
                blender.Blend(whole.data(), colour, source.data(), kLength, level);
                for (uint32_t p = 0; p < 256; ++p) {
                    blender.Blend(perPixel.data() + 4 * p, colour, source.data() + 4 * p, 4, level);
                }
                for (uint32_t i = 0; i < kLength; ++i) {
                    const uint32_t expected = ExpectedAt(a, source[i], colour, i);
                    if (whole[i] != expected || perPixel[i] != expected) {
                        if (++mismatches <= 10) {
                            ADD_FAILURE() << "a=" << a << " s=" << int{source[i]}
                                          << " c=" << ColourByte(colour, i) << " expected "
                                          << expected << " long run " << int{whole[i]}
                                          << " short run " << int{perPixel[i]};
                        }
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0u);
    });
}

TEST(FadeBlenderTest, InPlaceMatchesSeparateDestination) {
    ForEachKernel([&] {
        FadeBlender blender;
        for (uint32_t length : {3u, 16u, 61u, 1920u * 4u + 2u}) {
            const std::vector<uint8_t> source = RandomBytes(length, 100 + length);
            for (int32_t level : {0, 1, 77, 128, 254, 255}) {
                const std::vector<uint8_t> separate =
                    BlendCopy(blender, source, 0x80604020u, level);
                std::vector<uint8_t> inPlace = source;
                blender.Blend(inPlace.data(), 0x80604020u, inPlace.data(), length, level);
                EXPECT_EQ(inPlace, separate) << "length=" << length << " level=" << level;
            }
        }
    });
}

// Lengths that are not whole pixels or whole vector blocks: bytes [0, length) are blended with
// the colour byte of their position in the pixel, and nothing outside them is read or written.
// Source and in-place buffers are heap blocks of exactly `length` bytes so AddressSanitizer
// flags any over-read; the separate destination sits between guard bytes.
TEST(FadeBlenderTest, PartialRunStaysWithinLength) {
    ForEachKernel([&] {
        FadeBlender blender;
        constexpr size_t kGuard = 32;
        constexpr uint8_t kGuardByte = 0xA5;
        const uint32_t colour = 0x0F1E2D3Cu;
        for (uint32_t length = 1; length <= 67; ++length) {
            const std::vector<uint8_t> pattern = RandomBytes(length, 7 * length);
            std::unique_ptr<uint8_t[]> source(new uint8_t[length]);
            std::memcpy(source.get(), pattern.data(), length);

            std::vector<uint8_t> guarded(kGuard + length + kGuard, kGuardByte);
            uint8_t* destination = guarded.data() + kGuard;
            for (int32_t level : {0, 100, 255}) {
                std::fill(guarded.begin(), guarded.end(), kGuardByte);
                blender.Blend(destination, colour, source.get(), length, level);
                std::unique_ptr<uint8_t[]> inPlace(new uint8_t[length]);
                std::memcpy(inPlace.get(), pattern.data(), length);
                blender.Blend(inPlace.get(), colour, inPlace.get(), length, level);

                for (size_t i = 0; i < kGuard; ++i) {
                    ASSERT_EQ(guarded[i], kGuardByte) << "before, length=" << length;
                    ASSERT_EQ(guarded[kGuard + length + i], kGuardByte)
                        << "after, length=" << length;
                }
                for (uint32_t i = 0; i < length; ++i) {
                    const uint32_t expected =
                        ExpectedAt(static_cast<uint32_t>(level), pattern[i], colour, i);
                    ASSERT_EQ(destination[i], expected) << "length=" << length << " byte " << i;
                    ASSERT_EQ(inPlace[i], expected)
                        << "in place, length=" << length << " byte " << i;
                }
            }
        }
    });
}

}  // namespace session
