// The 8-tap predictor with the sign-sign adaptation done as vector masks.
//
// Lane i of every vector belongs to tap k = 7 - i, so a plain load of
// in[j-8 .. j-1] gives the taps' samples and lane order is the order in which
// the adaptation visits the taps (oldest first). The adaptation stops at the
// first tap after which the running error e' has left e's sign. Each step
// moves e' towards zero by (i + 1) * g_i, with g_i = |b_i| >> den_shift when
// e > 0 and (-|b_i|) >> den_shift when e < 0, so e' is monotonic and tap i is
// updated exactly when e lies beyond the sum of the steps before it. Those
// sums depend only on the signal, so they are ready before e is known, and
// the update becomes two compares and one signed add.
//
// This is exact as long as nothing wraps: samples within [-2^30, 2^30) keep
// every b_i and every step sum far inside int32, and coefficients that cannot
// reach the int16 limits within the block need no wrap. Blocks outside those
// bounds are left to the portable loop.
#include "alac/predictor_kernels.h"

#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RZ_HAVE_X86_VECTOR 1
#endif

namespace qv::predictor_kernels {

namespace {

constexpr int taps = 8;

bool block_in_range(const Signal& s, int32_t count) {
    constexpr int32_t limit = int32_t{1} << 30;
    int32_t low = 0;
    int32_t high = 0;
    for (int32_t j = 0; j < count; ++j) {
        low = s.in[j] < low ? s.in[j] : low;
        high = s.in[j] > high ? s.in[j] : high;
    }
    if (low < -limit || high >= limit) return false;
    // Each sample moves a coefficient by at most one.
    const int32_t steps = count - taps - 1;
    for (int k = 0; k < taps; ++k) {
        if (std::abs(int32_t(s.coefs[k])) + steps > 32767) return false;
    }
    return true;
}

#ifdef RZ_HAVE_X86_VECTOR

#define RZ_AVX2 __attribute__((target("avx2")))

bool has_avx2() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

// Sum of all lanes, in every lane.
RZ_AVX2 inline __m256i sum_to_all(__m256i v) {
    v = _mm256_add_epi32(v, _mm256_permute2x128_si256(v, v, 0x01));
    v = _mm256_add_epi32(v, _mm256_shuffle_epi32(v, 0x4E));
    return _mm256_add_epi32(v, _mm256_shuffle_epi32(v, 0xB1));
}

// Lane i receives the sum of lanes 0 .. i-1.
RZ_AVX2 inline __m256i sum_before(__m256i v) {
    __m256i s = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
    s = _mm256_add_epi32(s, _mm256_slli_si256(s, 8));
    // The low half's total (its lane 3) carried into the high half.
    const __m256i carry = _mm256_shuffle_epi32(_mm256_permute2x128_si256(s, s, 0x08), 0xFF);
    return _mm256_sub_epi32(_mm256_add_epi32(s, carry), v);
}

// One signal's state inside the loop: coefficients as int32 lanes.
struct Chain {
    const int32_t* in;
    int32_t* residual;
    __m256i a;
};

struct Constants {
    __m128i shift;
    __m128i den_shift;
    __m256i half;
    __m256i step_weight;  // i + 1 in lane i
};

RZ_AVX2 inline Chain start_chain(const Signal& s) {
    const int16_t* c = s.coefs;
    return {s.in, s.residual,
            _mm256_setr_epi32(c[7], c[6], c[5], c[4], c[3], c[2], c[1], c[0])};
}

RZ_AVX2 inline void finish_chain(const Chain& chain, const Signal& s) {
    alignas(32) int32_t lanes[taps];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), chain.a);
    for (int i = 0; i < taps; ++i) s.coefs[taps - 1 - i] = int16_t(lanes[i]);
}

// Sample j of one chain: prediction, residual, adaptation.
RZ_AVX2 inline void step(Chain& chain, int32_t j, const Constants& k) {
    const int32_t* in = chain.in;
    const __m256i top = _mm256_set1_epi32(in[j - taps - 1]);
    const __m256i window = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + j - taps));
    const __m256i b = _mm256_sub_epi32(top, window);

    // Running-error thresholds for both signs of e, known before e is.
    const __m256i magnitude = _mm256_abs_epi32(b);
    const __m256i down = _mm256_mullo_epi32(_mm256_sra_epi32(magnitude, k.den_shift), k.step_weight);
    const __m256i up = _mm256_mullo_epi32(
        _mm256_sra_epi32(_mm256_sub_epi32(_mm256_setzero_si256(), magnitude), k.den_shift),
        k.step_weight);
    const __m256i above = sum_before(down);  // e > above: tap still adapts
    const __m256i below = sum_before(up);    // e < below: tap still adapts

    const __m256i dot = sum_to_all(_mm256_mullo_epi32(chain.a, b));
    const __m256i prediction = _mm256_sra_epi32(_mm256_sub_epi32(k.half, dot), k.den_shift);
    const __m256i target = _mm256_set1_epi32(
        static_cast<int32_t>(uint32_t(in[j]) - uint32_t(in[j - taps - 1])));
    __m256i e = _mm256_sub_epi32(target, prediction);
    e = _mm256_sra_epi32(_mm256_sll_epi32(e, k.shift), k.shift);
    chain.residual[j] = _mm256_cvtsi256_si32(e);

    // -1 where e > 0 adapts, +1 where e < 0 adapts; times sgn(b) this is
    // the coefficient step.
    const __m256i plus = _mm256_cmpgt_epi32(e, above);
    const __m256i minus = _mm256_cmpgt_epi32(below, e);
    chain.a = _mm256_add_epi32(chain.a, _mm256_sign_epi32(_mm256_sub_epi32(plus, minus), b));
}

RZ_AVX2 Constants make_constants(uint32_t shift, uint32_t den_shift) {
    return {_mm_cvtsi32_si128(int(shift)), _mm_cvtsi32_si128(int(den_shift)),
            _mm256_set1_epi32(static_cast<int32_t>((1u << den_shift) >> 1)),
            _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8)};
}

RZ_AVX2 void run_one(const Signal& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    const Constants k = make_constants(shift, den_shift);
    Chain c = start_chain(s);
    for (int32_t j = taps + 1; j < count; ++j) step(c, j, k);
    finish_chain(c, s);
}

RZ_AVX2 void run_two(const Signal& u, const Signal& v, int32_t count, uint32_t shift,
                     uint32_t den_shift) {
    const Constants k = make_constants(shift, den_shift);
    Chain cu = start_chain(u);
    Chain cv = start_chain(v);
    for (int32_t j = taps + 1; j < count; ++j) {
        step(cu, j, k);
        step(cv, j, k);
    }
    finish_chain(cu, u);
    finish_chain(cv, v);
}

#else

bool has_avx2() { return false; }
void run_one(const Signal&, int32_t, uint32_t, uint32_t) {}
void run_two(const Signal&, const Signal&, int32_t, uint32_t, uint32_t) {}

#endif

}  // namespace

bool adapt8_vector(const Signal& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    if (!has_avx2() || !block_in_range(s, count)) return false;
    run_one(s, count, shift, den_shift);
    return true;
}

bool adapt8_vector_pair(const Signal& u, const Signal& v, int32_t count, uint32_t shift,
                        uint32_t den_shift) {
    if (!has_avx2() || !block_in_range(u, count) || !block_in_range(v, count)) return false;
    run_two(u, v, count, shift, den_shift);
    return true;
}

}  // namespace qv::predictor_kernels
