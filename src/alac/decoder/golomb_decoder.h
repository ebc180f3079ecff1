#pragma once
// Reads one channel's residuals coded with the adaptive Golomb-Rice code of
// the ALAC bitstream (zero runs and escapes included).
#include <cstdint>

#include "alac/common/bit_reader.h"
#include "alac/common/golomb_params.h"
#include "alac/decoder/alac_decode_status.h"

namespace qv {

// Decodes exactly `count` residuals into `out`. `sample_bits` (1..32) is the
// width of an escaped residual. Fails on a zero run that would overfill
// `out` and on a read past the end of the frame.
AlacDecodeStatus golomb_decode(BitReader& reader, const GolombParams& params, int32_t* out,
                               uint32_t count, uint32_t sample_bits);

}  // namespace qv
