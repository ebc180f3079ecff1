#pragma once
// Deterministic test signals for the predictor and coder tests: music-like
// tones, full-scale noise and raw 32-bit noise.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv::testsig {

// A sum of slowly gliding sines with a little noise, peaking near 70% of the
// range of `bits`-bit samples.
std::vector<int32_t> music_like(size_t count, uint32_t bits, uint32_t seed);

// Uniform noise over the whole range of `bits`-bit samples (1..32).
std::vector<int32_t> full_scale_noise(size_t count, uint32_t bits, uint32_t seed);

// Laplacian-like residuals of a given typical magnitude, with occasional
// runs of zeros and rare large outliers.
std::vector<int32_t> residual_like(size_t count, uint32_t scale, uint32_t seed);

}  // namespace qv::testsig
