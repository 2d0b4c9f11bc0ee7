// A 32-bit host that knows only the export table pushes each export's arguments itself, calls,
// and counts on the callee to take exactly those bytes off the stack (callee pops, as on
// 32-bit Windows). Calls through the prototypes could not show a disagreement: the compiler
// would agree with itself on both sides.
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/feed/FeedExportList.h"
#include "tests/feed/FeedTestSupport.h"

namespace {

// What a raw call left behind: the result registers, and how many argument bytes the callee
// took off the stack.
struct RawCallResult {
    std::uint32_t eax = 0;
    std::uint32_t edx = 0;
    std::uint32_t bytesPopped = 0;
};

// CallPushing(function, words, count, result), itself called the compiler's default way:
// pushes words[count - 1] down to words[0] (so words[0] is the first argument) with the stack
// 16-byte aligned at the call, as the compiler's code expects, calls function, and writes
// eax, edx and the bytes the callee popped to *result. ebx keeps the stack's place once the
// words are pushed; it, esi, edi and ebp survive any callee.
extern "C" __attribute__((naked, noinline)) void CallPushing(const void*, const std::uint32_t*,
                                                             std::uint32_t, RawCallResult*) {
    asm(R"(
        push %ebp
        mov %esp, %ebp
        push %ebx
        push %esi
        push %edi
        mov 16(%ebp), %ecx
        mov 12(%ebp), %esi
        lea (,%ecx,4), %eax
        mov %esp, %ebx
        sub %eax, %ebx
        and $-16, %ebx
        lea (%ebx,%eax), %esp
    1:
        test %ecx, %ecx
        jz 2f
        dec %ecx
        pushl (%esi,%ecx,4)
        jmp 1b
    2:
        call *8(%ebp)
        mov 20(%ebp), %ecx
        mov %eax, 0(%ecx)
        mov %edx, 4(%ecx)
        mov %esp, %eax
        sub %ebx, %eax
        mov %eax, 8(%ecx)
        lea -12(%ebp), %esp
        pop %edi
        pop %esi
        pop %ebx
        pop %ebp
        ret
    )");
}

RawCallResult CallRaw(const void* function, const std::vector<std::uint32_t>& words) {
    RawCallResult result;
    CallPushing(function, words.data(), static_cast<std::uint32_t>(words.size()), &result);
    return result;
}

std::uint32_t Word(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

struct Export {
    const char* name;
    const void* function;
    std::uint32_t argumentBytes;
};

#define FEED_EXPORT_ENTRY(name, bytes) Export{#name, reinterpret_cast<const void*>(&name), bytes},
const Export kExports[] = {FEED_FOR_EACH_EXPORT(FEED_EXPORT_ENTRY)};
const Export kReaderExports[] = {FEED_FOR_EACH_READER_EXPORT(FEED_EXPORT_ENTRY)};
#undef FEED_EXPORT_ENTRY

using ExportStackTest = FeedFixture;

TEST_F(ExportStackTest, EveryExportTakesExactlyItsArgumentsOffTheStack) {
    for (const Export& call : kExports) {
        // The handle, then zeros: null pointers, zero times, a rate of 0.0; every call is
        // harmless on an idle feed. FeedDestroy gets a feed of its own.
        std::vector<std::uint32_t> words(call.argumentBytes / 4, 0);
        const bool destroy = call.function == reinterpret_cast<const void*>(&FeedDestroy);
        if (!words.empty()) {
            words[0] = Word(destroy ? FeedCreate() : feed);
        }
        const RawCallResult result = CallRaw(call.function, words);
        EXPECT_EQ(result.bytesPopped, call.argumentBytes) << call.name;
        if (call.function == reinterpret_cast<const void*>(&FeedCreate)) {
            ASSERT_NE(result.eax, 0u);
            FeedDestroy(reinterpret_cast<FeedHandle>(static_cast<std::uintptr_t>(result.eax)));
        }
    }
}

// The reader's calls the same way, on a reader whose file did not open (this build has no
// engine reader), so each one fails at once; a null name for FeedReaderOpen.
TEST_F(ExportStackTest, EveryReaderExportTakesExactlyItsArgumentsOffTheStack) {
    for (const Export& call : kReaderExports) {
        std::vector<std::uint32_t> words(call.argumentBytes / 4, 0);
        const bool open = call.function == reinterpret_cast<const void*>(&FeedReaderOpen);
        FeedReaderHandle reader = open ? nullptr : FeedReaderOpen("clip.mp4");
        words[0] = Word(reader);
        const RawCallResult result = CallRaw(call.function, words);
        EXPECT_EQ(result.bytesPopped, call.argumentBytes) << call.name;
        if (open) {
            reader = reinterpret_cast<FeedReaderHandle>(static_cast<std::uintptr_t>(result.eax));
        }
        if (call.function != reinterpret_cast<const void*>(&FeedReaderDestroy)) {
            FeedReaderDestroy(reader);
        }
    }
}

TEST_F(ExportStackTest, TheFrameRateIsOneEightByteArgumentAndResultsComeBackInEax) {
    const auto setRate = reinterpret_cast<const void*>(&FeedSetFrameRate);
    for (const double rate : {29.97, 1e-300, -1.0}) {
        std::vector<std::uint32_t> words(3, Word(feed));
        std::memcpy(&words[1], &rate, sizeof rate);  // low word first, as pushed last
        const RawCallResult result = CallRaw(reinterpret_cast<const void*>(setRate), words);
        EXPECT_EQ(result.eax, rate >= 0.0 ? 1u : 0u) << rate;
    }
    EXPECT_EQ(Shared().format.frameRate, 1e-300);  // -1.0 was refused and changed nothing

    // Pointer-sized results and arguments: the callback setter hands its callback back.
    const auto callback = reinterpret_cast<FeedVideoFrameCallback>(0xFEDCBA98u);
    const RawCallResult set =
        CallRaw(reinterpret_cast<const void*>(&FeedSetVideoCallback),
                {Word(feed), Word(reinterpret_cast<const void*>(callback)), 0x80000000u});
    EXPECT_EQ(set.eax, 0xFEDCBA98u);
    EXPECT_EQ(Shared().callbacks.videoCallback.load(), callback);
    EXPECT_EQ(Shared().callbacks.videoUser.load(), reinterpret_cast<void*>(0x80000000u));
    FeedSetVideoCallback(feed, nullptr, nullptr);
}

}  // namespace
