#pragma once

// The processor and pointer size a benchmark was built for, as the first line of its figures:
// the 32-bit and the 64-bit Windows build are measured alike and must not be confused.

#include <cstdio>

namespace quorvane::bench {

inline void printArchitecture() {
#if defined(__x86_64__) || defined(_M_X64)
  const char* processor = "x86_64";
#elif defined(__i386__) || defined(_M_IX86)
  const char* processor = "i686";
#elif defined(__aarch64__) || defined(_M_ARM64)
  const char* processor = "aarch64";
#else
  const char* processor = "unknown processor";
#endif
  std::printf("architecture: %s (%d-bit build)\n", processor, static_cast<int>(sizeof(void*) * 8));
}

}  // namespace quorvane::bench
