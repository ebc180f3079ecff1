#pragma once
// The adaptive FIR predictor of the ALAC bitstream (sign-sign adaptation),
// and the coefficient banks it keeps from packet to packet.
#include <cstdint>

#include "alac/golomb_coder.h"

namespace qv {

// For each of 8 channel positions, 16 coefficient sets of 16 int16; the set at
// index s belongs to order s + 1 (only orders 4 and 8 are used).
struct PredictorCoefs {
    int16_t sets[8][16][16];
};

// Replaces each sample by its prediction error and adapts `coefs` in place.
// `order` is 0..31 (31: first differences); `den_shift` 1..31. `in` and
// `residual` must hold at least order + 1 entries even when `count` is
// smaller: the warm-up always reads and writes entries 0..order. Only order 0
// may work in place.
void predict_block(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                   int32_t order, uint32_t chan_bits, uint32_t den_shift);

// predict_block, booked to the profiler's predictor stages.
void predict_block_timed(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                         int32_t order, uint32_t chan_bits, uint32_t den_shift);

// One signal of a pair for predict_block_pair.
struct PredictorInput {
    const int32_t* in;
    int32_t* residual;
    int16_t* coefs;
    int32_t order;
};

// predict_block for two independent signals of the same length (a pair's U
// and V), with the same results as two separate calls.
void predict_block_pair(const PredictorInput& u, const PredictorInput& v, int32_t count,
                        uint32_t chan_bits, uint32_t den_shift);

// predict_block_pair, booked as one predictor call per signal, sharing the
// time.
void predict_block_pair_timed(const PredictorInput& u, const PredictorInput& v, int32_t count,
                              uint32_t chan_bits, uint32_t den_shift);

// predict_block_pair that also codes each signal's residuals, in order, as
// they are made, leaving the coders to be finished; the coding then
// overlaps the prediction. False, with nothing coded, when the pair does not
// suit the vector loop: then the two must be done one after the other.
// Booked as one predictor call and one Golomb call per signal, the time
// shared evenly.
bool predict_and_code_pair_timed(const PredictorInput& u, const PredictorInput& v, int32_t count,
                                 uint32_t chan_bits, uint32_t den_shift,
                                 golomb_coder::ResidualStream& code_u,
                                 golomb_coder::ResidualStream& code_v);

}  // namespace qv
