#pragma once
// Raw tick source for the encoder stage profiler.
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#else
#include <chrono>
#endif

namespace qv::platform {

// The processor's time-stamp counter on x86; elsewhere a monotonic
// high-resolution clock in its own ticks.
inline uint64_t read_cycle_counter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

}  // namespace qv::platform
