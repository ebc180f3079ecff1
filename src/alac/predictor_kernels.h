#pragma once
// The adaptation loops behind predict_block: the portable one for any order,
// and the 4- and 8-tap vector one, alone or for two independent signals at
// once.
// Each runs samples order + 1 .. count - 1; the caller writes the warm-up.
#include <cstdint>

#include "alac/golomb_coder.h"

namespace qv::predictor_kernels {

// One signal's arguments; `shift` is 32 - chan_bits (mod 32).
struct Signal {
    const int32_t* in;
    int32_t* residual;
    int16_t* coefs;
};

// The portable loop for orders 1..30 (4 and 8 unrolled).
void adapt_portable(const Signal& s, int32_t count, int32_t order, uint32_t shift,
                    uint32_t den_shift);

// The vector loop for order 8. False, with nothing written, for any other
// order (a lone 4-tap chain is faster in the portable loop), when the processor lacks AVX2, or when a sample lies outside
// [-2^30, 2^30) or a coefficient could reach the int16 limits within the
// block: there the running error sums and the coefficient steps need the
// portable loop's wrap-around.
bool adapt_vector(const Signal& s, int32_t count, int32_t order, uint32_t shift,
                  uint32_t den_shift);

// Two signals at once (orders 4 or 8 each), each exactly as adapt_vector
// would do it, so that their two serial chains overlap. False, with nothing
// written, whenever adapt_vector would refuse either signal.
bool adapt_vector_pair(const Signal& u, int32_t order_u, const Signal& v, int32_t order_v,
                       int32_t count, uint32_t shift, uint32_t den_shift);

using PairCoder = golomb_coder::ResidualCoder<golomb_coder::CodeSink>;

// adapt_vector_pair that also hands every residual of each signal, from 0
// on (the warm-up the caller wrote included), to its coder as soon as it is
// made, so that the scalar coding overlaps the vector adaptation. The
// coders are not finished. False, with nothing written or coded, whenever
// adapt_vector_pair would refuse the pair.
bool adapt_vector_pair_coded(const Signal& u, int32_t order_u, const Signal& v, int32_t order_v,
                             int32_t count, uint32_t shift, uint32_t den_shift, PairCoder& code_u,
                             PairCoder& code_v);

}  // namespace qv::predictor_kernels
