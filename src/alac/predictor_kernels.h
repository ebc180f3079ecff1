#pragma once
// The adaptation loops behind predict_block: the portable one for any order,
// and the 4- and 8-tap vector one, alone or for two independent signals at
// once.
// Each runs samples order + 1 .. count - 1; the caller writes the warm-up.
#include <cstdint>

#include "alac/golomb_coder.h"
#include "alac/predictor.h"

namespace qv::predictor_kernels {

using golomb_coder::ResidualStream;

// In all of them `shift` is 32 - chan_bits (mod 32).

// The portable loop for orders 1..30 (4 and 8 unrolled): the plain
// reference that every vector loop must match.
void adapt_portable(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift);

// The vector loop for order 8. False, with nothing written, for any other
// order (a lone 4-tap chain is faster in the portable loop), when the active
// SIMD level is below AVX2, or when a sample lies outside [-2^30, 2^30) or
// a coefficient could reach the int16 limits within the block: there the
// running error sums and the coefficient steps need the portable loop's
// wrap-around.
bool adapt_vector(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift);

// Two signals at once (orders 4 or 8 each), each exactly as adapt_vector
// would do it, so that their two serial chains overlap. False, with nothing
// written, whenever adapt_vector would refuse either signal.
bool adapt_vector_pair(const PredictorInput& u, const PredictorInput& v, int32_t count,
                       uint32_t shift, uint32_t den_shift);

// adapt_vector_pair that also hands every residual of each signal, from 0
// on (the warm-up the caller wrote included), to its coder as soon as it is
// made, so that the scalar coding overlaps the vector adaptation. The
// coders are not finished. False, with nothing written or coded, whenever
// adapt_vector_pair would refuse the pair.
bool adapt_vector_pair_coded(const PredictorInput& u, const PredictorInput& v, int32_t count,
                             uint32_t shift, uint32_t den_shift, ResidualStream& code_u,
                             ResidualStream& code_v);

}  // namespace qv::predictor_kernels
