#include "session/FaultGuard.h"

#if defined(_WIN32)
#include <windows.h>

#include <excpt.h>

// GCC has no __try/__except. The exception is caught with the system's own frame-based
// handling, as MSVC's __except does: on x86_64 through a scope-table entry for the C runtime's
// __C_specific_handler (mingw-w64's __try1/__except1), on i686 through a handler registered in
// the thread's exception chain (fs:0). Either way the frames inside the call are unwound
// before the caller goes on, so the termination handlers of the code that faulted run and
// its locks are released.

namespace {
// The code of the exception caught on this thread by the last guarded call; 0 for none.
thread_local std::uint32_t tCaught = 0;
}  // namespace

#if defined(__x86_64__)

// Asked by __C_specific_handler, while the faulting frames are still there, whether the
// exception is handled here: every one is. Named in the scope table, so C linkage.
extern "C" __attribute__((used)) LONG FeedFaultFilter(EXCEPTION_POINTERS* pointers,
                                                      void* /*establisherFrame*/) {
    tCaught = pointers->ExceptionRecord->ExceptionCode;
    return EXCEPTION_EXECUTE_HANDLER;
}

namespace {
// __try1 names fixed labels: this function must stay a single copy, in .text, and have no
// C++ clean-up of its own (GCC would register its own handler for it).
// clang-format off
__attribute__((noinline, noclone)) void CallInScope(void (*function)()) {
    __try1(FeedFaultFilter)
    function();
    __except1
}
// clang-format on
}  // namespace

std::uint32_t session::CallCatchingFaults(void (*function)()) {
    tCaught = 0;
    CallInScope(function);
    return tCaught;
}

#elif defined(__i386__)

extern "C" {
// Where a caught call resumes, in CallInChain below.
void FeedFaultResume();

// RtlUnwind(frame, nullptr, record, nullptr) with %ebx, %esi, %edi and %ebp kept: on i686
// RtlUnwind does not preserve them (the C runtime's own unwind saves them around it too).
void __stdcall FeedUnwindTo(void* frame, EXCEPTION_RECORD* record);
__asm__(
    "\t.text\n"
    "\t.globl _FeedUnwindTo@8\n"
    "_FeedUnwindTo@8:\n"
    "\tpushl %ebx\n"
    "\tpushl %esi\n"
    "\tpushl %edi\n"
    "\tpushl %ebp\n"
    "\tpushl $0\n"        // ReturnValue
    "\tpushl 28(%esp)\n"  // ExceptionRecord
    "\tpushl $0\n"        // TargetIp
    "\tpushl 32(%esp)\n"  // TargetFrame
    "\tcall _RtlUnwind@16\n"
    "\tpopl %ebp\n"
    "\tpopl %edi\n"
    "\tpopl %esi\n"
    "\tpopl %ebx\n"
    "\tret $8\n");

// Asked by the system's dispatcher for an exception raised inside the call. Unwinds the
// frames registered inside it (their handlers run for the unwind), then resumes at
// FeedFaultResume with the stack as it stood at the call. `frame` is the registration
// CallInChain pushed: %ebp lies 20 bytes above it (saved %ebx, %esi, %edi, then the
// registration's two words).
__attribute__((used)) EXCEPTION_DISPOSITION FeedFaultHandler(EXCEPTION_RECORD* record, void* frame,
                                                             CONTEXT* context,
                                                             void* /*dispatcherContext*/) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
        return ExceptionContinueSearch;  // unwound past on the way to an outer handler
    }
    tCaught = record->ExceptionCode;
    FeedUnwindTo(frame, record);
    const auto base = reinterpret_cast<DWORD>(frame);
    context->Esp = base;
    context->Ebp = base + 20;
    context->Eip = reinterpret_cast<DWORD>(&FeedFaultResume);
    return ExceptionContinueExecution;
}

// void CallInChain(void (*function)()), cdecl: calls `function` with FeedFaultHandler first in
// the thread's exception chain. Written out whole, so that no compiled code addresses the
// stack while the registration sits on it.
void CallInChain(void (*function)());
__asm__(
    "\t.text\n"
    "\t.globl _CallInChain\n"
    "_CallInChain:\n"
    "\tpushl %ebp\n"
    "\tmovl %esp, %ebp\n"
    "\tpushl %ebx\n"
    "\tpushl %esi\n"
    "\tpushl %edi\n"
    "\tpushl $_FeedFaultHandler\n"
    "\tpushl %fs:0\n"
    "\tmovl %esp, %fs:0\n"
    "\tcall *8(%ebp)\n"
    "\t.globl _FeedFaultResume\n"
    "_FeedFaultResume:\n"
    "\tmovl (%esp), %eax\n"
    "\tmovl %eax, %fs:0\n"
    "\taddl $8, %esp\n"
    "\tpopl %edi\n"
    "\tpopl %esi\n"
    "\tpopl %ebx\n"
    "\tpopl %ebp\n"
    "\tret\n");
}  // extern "C"

std::uint32_t session::CallCatchingFaults(void (*function)()) {
    tCaught = 0;
    CallInChain(function);
    return tCaught;
}

#else
#error "CallCatchingFaults: no structured exception handling for this processor"
#endif

#else  // not Windows: nothing raises structured exceptions

std::uint32_t session::CallCatchingFaults(void (*function)()) {
    function();
    return 0;
}

#endif
