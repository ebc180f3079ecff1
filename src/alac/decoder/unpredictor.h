#pragma once
// Rebuilds a signal from the residuals of the ALAC adaptive predictor,
// adapting the coefficients exactly as the predictor that made them did.
#include <cstdint>

#include "alac/decoder/alac_decode_status.h"
#include "alac/decoder/golomb_reader.h"

namespace qv {

// In place: `samples` holds `count` residuals on entry and the signal on
// return. Order 0 leaves them as they are, order 31 undoes first differences,
// any other order runs the adaptive filter with `coefs` (order entries,
// updated in place). `chan_bits` is 1..32, `den_shift` 1..15.
void unpredict_block(int32_t* samples, uint32_t count, int16_t* coefs, uint32_t order,
                     uint32_t chan_bits, uint32_t den_shift);

// One signal of a pair for unpredict_block_pair.
struct UnpredictorInput {
    int32_t* samples;
    int16_t* coefs;
    uint32_t order;
    uint32_t den_shift;
};

// unpredict_block for two independent signals of the same length and width
// (a pair's U and V), with the same results as two separate calls.
void unpredict_block_pair(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                          uint32_t chan_bits);

// unpredict_block_pair while V's residuals are still being read: `v_rest`
// decodes them into v.samples, in step with the rebuild where the vector
// loop takes the pair (the decoding then overlaps the filter), or all of
// them first. Returns the decoder's status; on an error the samples are
// not all rebuilt.
AlacDecodeStatus unpredict_block_pair_decoding(const UnpredictorInput& u, const UnpredictorInput& v,
                                               uint32_t count, uint32_t chan_bits,
                                               golomb_reader::UsualResidualReader& v_rest);

// unpredict_block_pair_decoding with U's residuals read as well, by
// `u_rest`, both in step with the rebuild. Only where the vector loop takes
// the pair: false when it does not, or on any decoding error, with the
// samples and coefficients then left in no particular state.
bool unpredict_block_pair_reading_both(const UnpredictorInput& u, const UnpredictorInput& v,
                                       uint32_t count, uint32_t chan_bits,
                                       golomb_reader::UsualResidualReader& u_rest,
                                       golomb_reader::UsualResidualReader& v_rest);

}  // namespace qv
