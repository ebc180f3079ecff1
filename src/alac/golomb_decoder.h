#pragma once
// Reads one channel's residuals coded with the adaptive Golomb-Rice code of
// the ALAC bitstream (zero runs and escapes included).
#include <cstdint>

#include "alac/alac_decode_status.h"
#include "alac/bit_reader.h"

namespace qv {

// The coder's constants as the magic cookie carries them.
struct GolombDecodeParams {
    uint32_t mb0 = 10;  // initial mean, scaled by 512
    uint32_t pb = 40;   // adaptation rate
    uint32_t kb = 14;   // largest Rice parameter, 1..31
};

// Decodes exactly `count` residuals into `out`. `sample_bits` (1..32) is the
// width of an escaped residual. Fails on a zero run that would overfill
// `out` and on a read past the end of the frame.
AlacDecodeStatus golomb_decode(BitReader& reader, const GolombDecodeParams& params, int32_t* out,
                               uint32_t count, uint32_t sample_bits);

}  // namespace qv
