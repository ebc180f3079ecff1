#include "alac/matrix.h"

#include "alac/encoder_profile.h"
#include "common/byte_order.h"

namespace qv {

namespace {

// Weighted mid of L and R, in 32-bit wrap-around arithmetic.
inline int32_t weighted(int32_t l, int32_t r, int32_t mix_bits, int32_t mix_res) {
    const uint32_t sum = uint32_t(mix_res) * uint32_t(l) +
                         (uint32_t(1u << mix_bits) - uint32_t(mix_res)) * uint32_t(r);
    return static_cast<int32_t>(sum) >> mix_bits;
}

// Forms U and V from `count` pairs delivered by `sample(i)` as {L, R}.
template <typename Pair>
inline void form_uv(int32_t* u, int32_t* v, int32_t count, int32_t mix_bits, int32_t mix_res,
                    Pair sample) {
    if (mix_res == 0) {
        for (int32_t i = 0; i < count; ++i) {
            const auto [l, r] = sample(i);
            u[i] = l;
            v[i] = r;
        }
    } else {
        for (int32_t i = 0; i < count; ++i) {
            const auto [l, r] = sample(i);
            u[i] = weighted(l, r, mix_bits, mix_res);
            v[i] = static_cast<int32_t>(uint32_t(l) - uint32_t(r));
        }
    }
}

struct LR {
    int32_t l, r;
};

}  // namespace

void mix16(const int16_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_res) {
    const uint64_t t0 = profile_start();
    form_uv(u, v, count, 2, mix_res, [=](int32_t i) {
        const int16_t* p = in + size_t(i) * stride;
        return LR{p[0], p[1]};
    });
    profile_book(stage_mix16, t0);
}

void mix20(const uint8_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_bits, int32_t mix_res) {
    form_uv(u, v, count, mix_bits, mix_res, [=](int32_t i) {
        const uint8_t* p = in + size_t(i) * stride * 3;
        return LR{load_s24_le(p) >> 4, load_s24_le(p + 3) >> 4};
    });
}

void mix24(const uint8_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_bits, int32_t mix_res, uint16_t* shift_buf, int32_t bytes_shifted) {
    const uint32_t shift = 8 * uint32_t(bytes_shifted);
    const uint32_t mask = (1u << shift) - 1;
    form_uv(u, v, count, mix_bits, mix_res, [=](int32_t i) {
        const uint8_t* p = in + size_t(i) * stride * 3;
        const int32_t l = load_s24_le(p);
        const int32_t r = load_s24_le(p + 3);
        if (shift == 0) return LR{l, r};
        shift_buf[2 * i] = static_cast<uint16_t>(uint32_t(l) & mask);
        shift_buf[2 * i + 1] = static_cast<uint16_t>(uint32_t(r) & mask);
        return LR{l >> shift, r >> shift};
    });
}

void mix32(const int32_t* in, uint32_t stride, int32_t* u, int32_t* v, int32_t count,
           int32_t mix_res, uint16_t* shift_buf, int32_t bytes_shifted) {
    const uint32_t shift = 8 * uint32_t(bytes_shifted);
    const uint32_t mask = (1u << shift) - 1;
    form_uv(u, v, count, 2, mix_res, [=](int32_t i) {
        const int32_t* p = in + size_t(i) * stride;
        const int32_t l = p[0];
        const int32_t r = p[1];
        if (shift == 0) return LR{l, r};
        shift_buf[2 * i] = static_cast<uint16_t>(uint32_t(l) & mask);
        shift_buf[2 * i + 1] = static_cast<uint16_t>(uint32_t(r) & mask);
        return LR{l >> shift, r >> shift};
    });
}

}  // namespace qv
