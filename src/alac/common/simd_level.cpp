#include "alac/common/simd_level.h"

namespace qv {
namespace {

SimdLevel detect() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("bmi2")) {
        return SimdLevel::avx512;
    }
    if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
#endif
    return SimdLevel::portable;
}

const SimdLevel host_level = detect();
SimdLevel active_level = host_level;

}  // namespace

SimdLevel host_simd_level() { return host_level; }

void set_max_simd_level(SimdLevel cap) { active_level = cap < host_level ? cap : host_level; }

SimdLevel active_simd_level() { return active_level; }

const char* simd_level_name(SimdLevel level) {
    switch (level) {
        case SimdLevel::portable: return "portable";
        case SimdLevel::avx2: return "AVX2";
        case SimdLevel::avx512: return "AVX-512";
    }
    return "unknown";
}

}  // namespace qv
