#include "alac/decoder/unpredictor.h"

#include <algorithm>

#include "alac/decoder/unpredictor_kernels.h"
#include "common/int_width.h"

namespace qv {
namespace {

// All filter arithmetic is 32-bit two's complement with wrap-around; it runs
// on uint32 so that overflow is defined.
inline int32_t s32(uint32_t x) { return static_cast<int32_t>(x); }
inline uint32_t u32(int32_t x) { return static_cast<uint32_t>(x); }

inline int32_t wrap(uint32_t x, uint32_t shift) { return keep_low_bits(x, shift); }

inline int32_t sign_of(int32_t x) { return (x > 0) - (x < 0); }

// Samples 1 .. order are first differences.
void warm_up(int32_t* x, uint32_t count, uint32_t p, uint32_t shift) {
    const uint32_t warm = std::min(p, count - 1);
    for (uint32_t j = 1; j <= warm; ++j) x[j] = wrap(u32(x[j]) + u32(x[j - 1]), shift);
}

// Any order from 1 to 30, written as plainly as the formulas; from sample
// p + 1 on.
void run_filter(int32_t* x, uint32_t count, int16_t* a, uint32_t p, uint32_t shift,
                uint32_t den_shift) {
    const uint32_t half = 1u << (den_shift - 1);
    for (uint32_t j = p + 1; j < count; ++j) {
        const int32_t* past = x + j - 1;  // past[-k] is the sample k + 1 back
        const int32_t top = x[j - p - 1];
        uint32_t sum = 0;
        for (uint32_t k = 0; k < p; ++k) sum += u32(a[k]) * (u32(past[-int32_t(k)]) - u32(top));
        const int32_t e = x[j];
        x[j] = wrap(u32(e) + u32(top) + u32(s32(sum + half) >> den_shift), shift);

        // Sign-sign adaptation, oldest tap first, until the error changes sign.
        if (e > 0) {
            int32_t left = e;
            for (uint32_t k = p; k-- > 0;) {
                const int32_t b = s32(u32(top) - u32(past[-int32_t(k)]));
                const int32_t s = sign_of(b);
                a[k] = static_cast<int16_t>(a[k] - s);
                left = s32(u32(left) - (p - k) * u32(s32(u32(s) * u32(b)) >> den_shift));
                if (left <= 0) break;
            }
        } else if (e < 0) {
            int32_t left = e;
            for (uint32_t k = p; k-- > 0;) {
                const int32_t b = s32(u32(top) - u32(past[-int32_t(k)]));
                const int32_t s = sign_of(b);
                a[k] = static_cast<int16_t>(a[k] + s);
                left = s32(u32(left) - (p - k) * u32(s32(0u - u32(s) * u32(b)) >> den_shift));
                if (left >= 0) break;
            }
        }
    }
}

// Orders 4 and 8, for speed: the taps and the newest sample stay in
// registers, and the sign-sign update runs without a branch. With
// neg = -1 for e < 0 and 0 otherwise, (x ^ neg) - neg negates x exactly when
// e < 0; `live` is all ones until the running error has changed sign (and 0
// throughout when e = 0), so it masks the updates after the early stop.
// `Shift` > 0 fixes the prediction shift as well (the encoder always uses 9),
// which frees the register that variable shifts need.
template <uint32_t P, uint32_t Shift>
void run_fixed_filter(int32_t* x, uint32_t count, int16_t* coefs, uint32_t shift,
                      uint32_t variable_shift) {
    const uint32_t den_shift = Shift != 0 ? Shift : variable_shift;
    if (count <= P + 1) return;

    int32_t a[P];
    for (uint32_t k = 0; k < P; ++k) a[k] = coefs[k];
    const uint32_t half = 1u << (den_shift - 1);
    int32_t newest = x[P];
    for (uint32_t j = P + 1; j < count; ++j) {
        const int32_t top = x[j - P - 1];
        // d[k] = (sample k + 1 back) - top, the negated tap difference.
        int32_t d[P];
        d[0] = s32(u32(newest) - u32(top));
#pragma GCC unroll 8
        for (uint32_t k = 1; k < P; ++k) d[k] = s32(u32(x[j - 1 - k]) - u32(top));
        uint32_t sum = 0;
#pragma GCC unroll 8
        for (uint32_t k = 0; k < P; ++k) sum += u32(a[k]) * u32(d[k]);
        const int32_t e = x[j];
        newest = wrap(u32(e) + u32(top) + u32(s32(sum + half) >> den_shift), shift);
        x[j] = newest;

        const int32_t neg = e >> 31;
        int32_t live = -static_cast<int32_t>(e != 0);
        int32_t left = e;
#pragma GCC unroll 8
        for (uint32_t i = 0; i < P; ++i) {
            const uint32_t k = P - 1 - i;
            // a_k moves by sgn(e)·sgn(d_k) and the error by (i + 1) times
            // the tap's |b_k| (e > 0) or -|b_k| (e < 0), shifted down.
            const int32_t step = (sign_of(d[k]) ^ neg) - neg;
            a[k] = static_cast<int16_t>(a[k] + (step & live));
            const int32_t dm = d[k] >> 31;
            const uint32_t magnitude = (u32(d[k]) ^ u32(dm)) - u32(dm);
            const int32_t change = s32((magnitude ^ u32(neg)) - u32(neg)) >> den_shift;
            left = s32(u32(left) - (i + 1) * u32(change));
            live &= -static_cast<int32_t>((left ^ neg) > neg);
        }
    }
    for (uint32_t k = 0; k < P; ++k) coefs[k] = static_cast<int16_t>(a[k]);
}

}  // namespace

namespace unpredictor_kernels {

void rebuild_portable(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits) {
    const uint32_t shift = (32 - chan_bits) & 31;
    int32_t* x = s.samples;
    switch (s.order) {
        case 4:
            if (s.den_shift == 9)
                run_fixed_filter<4, 9>(x, count, s.coefs, shift, s.den_shift);
            else
                run_fixed_filter<4, 0>(x, count, s.coefs, shift, s.den_shift);
            break;
        case 8:
            if (s.den_shift == 9)
                run_fixed_filter<8, 9>(x, count, s.coefs, shift, s.den_shift);
            else
                run_fixed_filter<8, 0>(x, count, s.coefs, shift, s.den_shift);
            break;
        default: run_filter(x, count, s.coefs, s.order, shift, s.den_shift); break;
    }
}

}  // namespace unpredictor_kernels

namespace {

void run_after_warm_up(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits) {
    if (!unpredictor_kernels::rebuild_vector(s, count, chan_bits))
        unpredictor_kernels::rebuild_portable(s, count, chan_bits);
}

// False when there is nothing to filter: order 0, or order 31 (first
// differences), which this also undoes.
bool warm_up_signal(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits) {
    if (count < 2 || s.order == 0) return false;
    const uint32_t shift = (32 - chan_bits) & 31;
    warm_up(s.samples, count, s.order == 31 ? count - 1 : s.order, shift);
    return s.order != 31;
}

}  // namespace

void unpredict_block(int32_t* samples, uint32_t count, int16_t* coefs, uint32_t order,
                     uint32_t chan_bits, uint32_t den_shift) {
    const UnpredictorInput s{samples, coefs, order, den_shift};
    if (warm_up_signal(s, count, chan_bits)) run_after_warm_up(s, count, chan_bits);
}

void unpredict_block_pair(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                          uint32_t chan_bits) {
    const bool filter_u = warm_up_signal(u, count, chan_bits);
    const bool filter_v = warm_up_signal(v, count, chan_bits);
    if (filter_u && filter_v && unpredictor_kernels::rebuild_vector_pair(u, v, count, chan_bits))
        return;
    if (filter_u) run_after_warm_up(u, count, chan_bits);
    if (filter_v) run_after_warm_up(v, count, chan_bits);
}

AlacDecodeStatus unpredict_block_pair_decoding(const UnpredictorInput& u, const UnpredictorInput& v,
                                               uint32_t count, uint32_t chan_bits,
                                               golomb_reader::UsualResidualReader& v_rest) {
    using namespace unpredictor_kernels;
    // The warm-up and the vector loop's range check need V's first samples.
    AlacDecodeStatus status = v_rest.decode_to(9);
    if (status != AlacDecodeStatus::ok) return status;
    if (vector_pair_possible(u, v, count, chan_bits)) {
        warm_up_signal(u, count, chan_bits);
        warm_up_signal(v, count, chan_bits);
        return rebuild_vector_pair_decoding(u, v, count, chan_bits, nullptr, v_rest);
    }
    status = v_rest.decode_to(count);
    if (status != AlacDecodeStatus::ok) return status;
    unpredict_block_pair(u, v, count, chan_bits);
    return AlacDecodeStatus::ok;
}

bool unpredict_block_pair_reading_both(const UnpredictorInput& u, const UnpredictorInput& v,
                                       uint32_t count, uint32_t chan_bits,
                                       golomb_reader::UsualResidualReader& u_rest,
                                       golomb_reader::UsualResidualReader& v_rest) {
    using namespace unpredictor_kernels;
    if (u_rest.decode_to(9) != AlacDecodeStatus::ok ||
        v_rest.decode_to(9) != AlacDecodeStatus::ok ||
        !vector_pair_possible(u, v, count, chan_bits)) {
        return false;
    }
    warm_up_signal(u, count, chan_bits);
    warm_up_signal(v, count, chan_bits);
    return rebuild_vector_pair_decoding(u, v, count, chan_bits, &u_rest, v_rest) ==
           AlacDecodeStatus::ok;
}

}  // namespace qv
