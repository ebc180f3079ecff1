#pragma once
// The adaptive Golomb-Rice entropy coder of the ALAC bitstream, with its
// zero-run mode and escapes.
#include <cstdint>

#include "alac/bit_writer.h"

namespace qv {

struct GolombParams {
    uint32_t mb;          // running mean of mapped residuals, scaled by 512
    uint32_t mb0;         // initial mean, 10
    uint32_t pb;          // adaptation rate, 40
    uint32_t kb;          // largest Rice parameter, 14
    uint32_t wb;          // zero-run divisor mask, 16383
    uint32_t row_width;   // samples per row
    uint32_t frame_width; // row pitch
};

void set_golomb_params(GolombParams& params, uint32_t count);

// Codes `count` residuals into `writer`. The coder rewrites whole 32-bit
// words, so the buffer needs 4 bytes of slack beyond the last bit written.
// Returns 0, or -50 for `sample_bits` outside 1..32; `bits_written` gets the
// number of bits appended (0 on error).
int32_t golomb_encode(GolombParams& params, const int32_t* residuals, BitWriter& writer,
                      uint32_t count, uint32_t sample_bits, uint32_t& bits_written);

// The number of bits golomb_encode would append for one contiguous block
// with the parameters of set_golomb_params, without writing anything. Same
// status as golomb_encode.
int32_t golomb_measure(const int32_t* residuals, uint32_t count, uint32_t sample_bits,
                       uint32_t& bits);

}  // namespace qv
