#pragma once
// Plain, obviously-correct versions of the Golomb coder and the adaptive
// predictor, written straight from the formulas (bit-by-bit output, 64-bit
// arithmetic truncated to 32 bits, int16 coefficients stored on every
// update). The optimised coder and predictor are checked against them.
#include <cstdint>

#include "alac/common/bit_writer.h"
#include "alac/golomb.h"

namespace qv::ref {

// Sign-extends the low `chan_bits` bits of x (all 32 when chan_bits is 0 or 32).
int32_t wrap_to_bits(int32_t x, uint32_t chan_bits);

void predict_block(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                   int32_t order, uint32_t chan_bits, uint32_t den_shift);

int32_t golomb_encode(const GolombParams& params, const int32_t* residuals, BitWriter& writer,
                      uint32_t count, uint32_t sample_bits, uint32_t& bits_written);

}  // namespace qv::ref
