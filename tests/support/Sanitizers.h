// Whether this build runs under ThreadSanitizer or AddressSanitizer, which make every thread,
// allocation and file several times slower: long campaigns scale down and deadlines grow.
#pragma once

namespace support {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderSanitizer = true;
#else
inline constexpr bool kUnderSanitizer = false;
#endif

}  // namespace support
