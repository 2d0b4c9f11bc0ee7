// FaultGuard: calls a function and catches a structured exception (an access violation and the
// like) raised inside it, after the frames inside have been unwound (their own handlers run).
// Windows only; the guarded function is a plain call elsewhere.
#pragma once

#include <cstdint>

namespace session {

// Calls `function` on this thread. Returns 0 when it returns; the exception code (for example
// 0xC0000005, an access violation) when a structured exception raised inside it was caught,
// in which case it returns as soon as the frames inside `function` have been unwound.
std::uint32_t CallCatchingFaults(void (*function)());

}  // namespace session
