#include "alac/predictor.h"

#include "alac/encoder_profile.h"
#include "alac/predictor_kernels.h"
#include "common/int_width.h"

namespace qv {

namespace {

// 32-bit two's-complement arithmetic with wrap-around.
inline int32_t sub32(int32_t a, int32_t b) {
    return static_cast<int32_t>(uint32_t(a) - uint32_t(b));
}
inline int32_t mul32(int32_t a, int32_t b) {
    return static_cast<int32_t>(uint32_t(a) * uint32_t(b));
}
inline int32_t sign_of(int32_t x) { return (x > 0) - (x < 0); }

inline int32_t wrap(int32_t x, uint32_t shift) { return keep_low_bits(uint32_t(x), shift); }

void first_differences(const int32_t* in, int32_t* residual, int32_t first, int32_t last,
                       uint32_t shift) {
    for (int32_t j = first; j <= last; ++j) residual[j] = wrap(sub32(in[j], in[j - 1]), shift);
}

// The adaptive FIR for `P` taps (0: `order` taps, chosen at run time). The
// coefficients live in int32 locals, wrapped to int16 on every update exactly
// as the stored int16 would be, so that fixed orders keep them in registers.
template <int P>
void predict_taps(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                  int32_t order, uint32_t shift, uint32_t den_shift) {
    constexpr int max_taps = P != 0 ? P : 32;
    const int p = P != 0 ? P : order;
    const int32_t half = static_cast<int32_t>((1u << den_shift) >> 1);

    int32_t a[max_taps];
#pragma GCC unroll 8
    for (int k = 0; k < p; ++k) a[k] = coefs[k];

    for (int32_t j = p + 1; j < count; ++j) {
        const int32_t top = in[j - p - 1];
        int32_t b[max_taps];
        uint32_t dot = 0;  // sum of a_k * b_k; the prediction sum is its negation
#pragma GCC unroll 8
        for (int k = 0; k < p; ++k) {
            b[k] = sub32(top, in[j - 1 - k]);
            dot += uint32_t(a[k]) * uint32_t(b[k]);
        }
        const int32_t prediction = static_cast<int32_t>(uint32_t(half) - dot) >> den_shift;
        const int32_t e = wrap(sub32(sub32(in[j], top), prediction), shift);
        residual[j] = e;

        // Sign-sign update from the oldest tap on, until the running error
        // changes sign. With m = 0 for e > 0 and -1 for e < 0:
        // t = (sgn(b_k) ^ m) - m is sgn(e) * sgn(b_k), the step of a_k;
        // (b_k ^ tm) - tm is t * b_k; and (rest ^ m) > m is rest > 0 or
        // rest < 0 respectively.
        const int32_t m = e >> 31;
        int32_t rest = e;
        if constexpr (P == 4) {
            // Four taps: the early stop as a branch, which the processor
            // predicts well enough to beat the longer masked chain below.
            if (e != 0) {
#pragma GCC unroll 4
                for (int i = 0; i < p; ++i) {
                    const int k = p - 1 - i;
                    const int32_t t = (sign_of(b[k]) ^ m) - m;
                    const int32_t tm = t >> 31;
                    a[k] = static_cast<int16_t>(a[k] - t);
                    rest = sub32(rest, mul32(i + 1, sub32(b[k] ^ tm, tm) >> den_shift));
                    if ((rest ^ m) <= m) break;
                }
            }
        } else {
            // Without a branch per tap: `live` (all ones, then 0 from the
            // tap after the crossing on, and 0 throughout when e = 0) masks
            // the updates that the early stop skips.
            int32_t live = -static_cast<int32_t>(e != 0);
#pragma GCC unroll 8
            for (int i = 0; i < p; ++i) {
                const int k = p - 1 - i;
                const int32_t t = (sign_of(b[k]) ^ m) - m;
                const int32_t tm = t >> 31;
                a[k] = static_cast<int16_t>(a[k] - (t & live));
                rest = sub32(rest, mul32(i + 1, sub32(b[k] ^ tm, tm) >> den_shift));
                live &= -static_cast<int32_t>((rest ^ m) > m);
            }
        }
    }

#pragma GCC unroll 8
    for (int k = 0; k < p; ++k) coefs[k] = static_cast<int16_t>(a[k]);
}

EncoderStage path_stage(int32_t order) {
    switch (order) {
        case 0: return stage_predictor_0;
        case 4: return stage_predictor_4;
        case 8: return stage_predictor_8;
        case 31: return stage_predictor_31;
        default: return stage_predictor_any;
    }
}

}  // namespace

namespace predictor_kernels {

void adapt_portable(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    const int32_t order = s.order;
    switch (order) {
        case 4: predict_taps<4>(s.in, s.residual, count, s.coefs, order, shift, den_shift); break;
        case 8: predict_taps<8>(s.in, s.residual, count, s.coefs, order, shift, den_shift); break;
        default: predict_taps<0>(s.in, s.residual, count, s.coefs, order, shift, den_shift); break;
    }
}

}  // namespace predictor_kernels

namespace {

// Orders 0 and 31 and the warm-up; true when nothing is left to adapt.
bool predict_fixed_part(const int32_t* in, int32_t* residual, int32_t count, int32_t order,
                        uint32_t shift) {
    residual[0] = in[0];
    if (order == 0) {
        if (count >= 2 && in != residual) {
            for (int32_t j = 1; j < count; ++j) residual[j] = in[j];
        }
        return true;
    }
    if (order == 31) {
        first_differences(in, residual, 1, count - 1, shift);
        return true;
    }
    first_differences(in, residual, 1, order, shift);
    return false;
}

void book_predictor(int32_t order, uint64_t cycles, uint64_t calls) {
    StageCounter& all = encoder_profile.stages[stage_predictor];
    StageCounter& path = encoder_profile.stages[path_stage(order)];
    all.cycles += cycles;
    all.calls += calls;
    path.cycles += cycles;
    path.calls += calls;
}

// The adaptation after the warm-up: the vector loop where it takes the
// block, else the portable one.
void adapt(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    if (!predictor_kernels::adapt_vector(s, count, shift, den_shift)) {
        predictor_kernels::adapt_portable(s, count, shift, den_shift);
    }
}

}  // namespace

void predict_block(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                   int32_t order, uint32_t chan_bits, uint32_t den_shift) {
    const uint32_t shift = (32 - chan_bits) & 31;
    if (predict_fixed_part(in, residual, count, order, shift)) return;
    adapt({in, residual, coefs, order}, count, shift, den_shift);
}

void predict_block_pair(const PredictorInput& u, const PredictorInput& v, int32_t count,
                        uint32_t chan_bits, uint32_t den_shift) {
    using namespace predictor_kernels;
    const uint32_t shift = (32 - chan_bits) & 31;
    const bool adapts_u = !predict_fixed_part(u.in, u.residual, count, u.order, shift);
    const bool adapts_v = !predict_fixed_part(v.in, v.residual, count, v.order, shift);
    if (adapts_u && adapts_v && adapt_vector_pair(u, v, count, shift, den_shift)) return;
    if (adapts_u) adapt(u, count, shift, den_shift);
    if (adapts_v) adapt(v, count, shift, den_shift);
}

void predict_block_timed(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                         int32_t order, uint32_t chan_bits, uint32_t den_shift) {
    const uint64_t t0 = profile_start();
    predict_block(in, residual, count, coefs, order, chan_bits, den_shift);
    if (profiling_enabled()) book_predictor(order, platform::read_cycle_counter() - t0, 1);
}

void predict_block_pair_timed(const PredictorInput& u, const PredictorInput& v, int32_t count,
                              uint32_t chan_bits, uint32_t den_shift) {
    const uint64_t t0 = profile_start();
    predict_block_pair(u, v, count, chan_bits, den_shift);
    if (profiling_enabled()) {
        const uint64_t cycles = platform::read_cycle_counter() - t0;
        book_predictor(u.order, cycles / 2, 1);
        book_predictor(v.order, cycles - cycles / 2, 1);
    }
}

bool predict_and_code_pair_timed(const PredictorInput& u, const PredictorInput& v, int32_t count,
                                 uint32_t chan_bits, uint32_t den_shift,
                                 golomb_coder::ResidualStream& code_u,
                                 golomb_coder::ResidualStream& code_v) {
    using namespace predictor_kernels;
    const uint64_t t0 = profile_start();
    const uint32_t shift = (32 - chan_bits) & 31;
    // Orders 0 and 31 have nothing to overlap.
    if (predict_fixed_part(u.in, u.residual, count, u.order, shift) ||
        predict_fixed_part(v.in, v.residual, count, v.order, shift) ||
        !adapt_vector_pair_coded(u, v, count, shift, den_shift, code_u, code_v)) {
        return false;
    }
    if (profiling_enabled()) {
        const uint64_t cycles = platform::read_cycle_counter() - t0;
        const uint64_t quarter = cycles / 4;
        book_predictor(u.order, quarter, 1);
        book_predictor(v.order, quarter, 1);
        StageCounter& golomb = encoder_profile.stages[stage_golomb];
        golomb.cycles += cycles - 2 * quarter;
        golomb.calls += 2;
    }
    return true;
}

}  // namespace qv
