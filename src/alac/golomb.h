#pragma once
// The adaptive Golomb-Rice entropy coder of the ALAC bitstream, with its
// zero-run mode and escapes.
#include <cstdint>

#include "alac/common/bit_writer.h"
#include "alac/common/golomb_params.h"

namespace qv {

// Fills `params` with the stream's constants, as before every golomb_encode.
void set_golomb_params(GolombParams& params);

// Codes `count` residuals into `writer`. The coder rewrites whole 32-bit
// words, so the buffer needs 4 bytes of slack beyond the last bit written.
// Returns 0, or -50 for `sample_bits` outside 1..32; `bits_written` gets the
// number of bits appended (0 on error).
int32_t golomb_encode(const GolombParams& params, const int32_t* residuals, BitWriter& writer,
                      uint32_t count, uint32_t sample_bits, uint32_t& bits_written);

// The number of bits golomb_encode would append with the parameters of
// set_golomb_params, without writing anything. Same
// status as golomb_encode.
int32_t golomb_measure(const int32_t* residuals, uint32_t count, uint32_t sample_bits,
                       uint32_t& bits);

}  // namespace qv
