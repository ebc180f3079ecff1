#include "alac/unpredictor.h"

#include <algorithm>

namespace qv {
namespace {

// All filter arithmetic is 32-bit two's complement with wrap-around; it runs
// on uint32 so that overflow is defined.
inline int32_t s32(uint32_t x) { return static_cast<int32_t>(x); }
inline uint32_t u32(int32_t x) { return static_cast<uint32_t>(x); }

// Keeps the low 32 - shift bits, sign-extended.
inline int32_t wrap(uint32_t x, uint32_t shift) { return s32(x << shift) >> shift; }

inline int32_t sign_of(int32_t x) { return (x > 0) - (x < 0); }

// `Fixed` > 0 makes the order a compile-time constant so the tap loops
// unroll; 0 takes it from `order`.
template <uint32_t Fixed>
void run_filter(int32_t* x, uint32_t count, int16_t* a, uint32_t order, uint32_t shift,
                uint32_t den_shift) {
    const uint32_t p = Fixed != 0 ? Fixed : order;
    const uint32_t warm = std::min(p, count - 1);
    for (uint32_t j = 1; j <= warm; ++j) x[j] = wrap(u32(x[j]) + u32(x[j - 1]), shift);

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

}  // namespace

void unpredict_block(int32_t* samples, uint32_t count, int16_t* coefs, uint32_t order,
                     uint32_t chan_bits, uint32_t den_shift) {
    if (count < 2 || order == 0) return;
    const uint32_t shift = (32 - chan_bits) & 31;
    if (order == 31) {
        for (uint32_t j = 1; j < count; ++j)
            samples[j] = wrap(u32(samples[j]) + u32(samples[j - 1]), shift);
        return;
    }
    switch (order) {
        case 4: run_filter<4>(samples, count, coefs, order, shift, den_shift); break;
        case 8: run_filter<8>(samples, count, coefs, order, shift, den_shift); break;
        default: run_filter<0>(samples, count, coefs, order, shift, den_shift); break;
    }
}

}  // namespace qv
