#pragma once
// The one place that decides which instruction sets the codec's vector
// kernels may use: the best the processor has, capped by a switch that the
// tests turn to run every kernel at every level the host offers.
#include <cstdint>

namespace qv {

enum class SimdLevel : uint8_t {
    portable,  // plain C++ loops only
    avx2,
    avx512,  // AVX-512 F and VL, with BMI2
};

// The best level this processor offers.
SimdLevel host_simd_level();

// Caps the level the kernels use (by default the host's); a cap above the
// host's level leaves the host's.
void set_max_simd_level(SimdLevel cap);

// The level the kernels use now: the host's, under the cap.
SimdLevel active_simd_level();

inline bool simd_allows(SimdLevel level) { return active_simd_level() >= level; }

// "portable", "AVX2" or "AVX-512".
const char* simd_level_name(SimdLevel level);

}  // namespace qv
