#pragma once
// The 4- and 8-tap inverse predictor with the sign-sign adaptation done as
// vector masks, alone or for two independent signals at once. Each runs
// samples order + 1 .. count - 1; the caller has already rebuilt 0 .. order.
#include <cstdint>

#include "alac/decoder/golomb_reader.h"
#include "alac/decoder/unpredictor.h"

namespace qv::unpredictor_kernels {

// The portable loop for orders 1..30 (4 and 8 unrolled): the plain
// reference that every vector loop must match.
void rebuild_portable(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits);

// The vector loop for one signal of order 8. False, with nothing written,
// for any other order (a lone 4-tap chain is faster in the portable loop),
// when the active SIMD level is below AVX2, when chan_bits is 32 or sample 0 does not
// fit in 31 bits, when den_shift is below 6, or when a coefficient could
// reach the int16 limits within the block: there the filter's sums and
// coefficient steps need the portable loop's wrap-around.
bool rebuild_vector(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits);

// Two signals at once (orders 4 or 8 each), each exactly as rebuild_vector
// would do it, so that their two serial chains overlap. False, with nothing
// written, whenever rebuild_vector would refuse either signal for a reason
// other than its order.
bool rebuild_vector_pair(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                         uint32_t chan_bits);

// Whether rebuild_vector_pair would take the pair.
bool vector_pair_possible(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                          uint32_t chan_bits);

// rebuild_vector_pair for a pair that vector_pair_possible took, with V's
// residuals decoded by `v_rest` as the loop goes, each just before it is
// needed, and U's likewise by `u_rest` unless it is null; the first 9 (or
// all) must be in already. Returns the decoder's status; after an error the
// samples are only partly rebuilt.
AlacDecodeStatus rebuild_vector_pair_decoding(const UnpredictorInput& u, const UnpredictorInput& v,
                                              uint32_t count, uint32_t chan_bits,
                                              golomb_reader::UsualResidualReader* u_rest,
                                              golomb_reader::UsualResidualReader& v_rest);

}  // namespace qv::unpredictor_kernels
