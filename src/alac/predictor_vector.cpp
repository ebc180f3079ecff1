// The 4- and 8-tap predictors with the sign-sign adaptation done as vector
// masks.
//
// Lane i of every vector belongs to tap k = order - 1 - i, so a plain load of
// in[j-order .. j-1] gives the taps' samples and lane order is the order in which
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

bool block_in_range(const Signal& s, int32_t count, int32_t taps) {
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

// The lane operations for 4 taps (one 128-bit vector) and 8 taps (one
// 256-bit vector), so that one loop serves both orders.
template <int Taps>
struct Lanes;

template <>
struct Lanes<4> {
    using V = __m128i;
    RZ_AVX2 static V load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
    RZ_AVX2 static V splat(int32_t x) { return _mm_set1_epi32(x); }
    RZ_AVX2 static V add(V a, V b) { return _mm_add_epi32(a, b); }
    RZ_AVX2 static V sub(V a, V b) { return _mm_sub_epi32(a, b); }
    RZ_AVX2 static V mul(V a, V b) { return _mm_mullo_epi32(a, b); }
    RZ_AVX2 static V abs(V a) { return _mm_abs_epi32(a); }
    RZ_AVX2 static V sign(V a, V b) { return _mm_sign_epi32(a, b); }
    RZ_AVX2 static V greater(V a, V b) { return _mm_cmpgt_epi32(a, b); }
    RZ_AVX2 static V shift_right(V a, __m128i n) { return _mm_sra_epi32(a, n); }
    RZ_AVX2 static V shift_left(V a, __m128i n) { return _mm_sll_epi32(a, n); }
    RZ_AVX2 static int32_t first(V a) { return _mm_cvtsi128_si32(a); }
    RZ_AVX2 static V ramp() { return _mm_setr_epi32(1, 2, 3, 4); }
    RZ_AVX2 static V from_coefs(const int16_t* c) { return _mm_setr_epi32(c[3], c[2], c[1], c[0]); }
    RZ_AVX2 static void store(int32_t* p, V a) { _mm_storeu_si128(reinterpret_cast<V*>(p), a); }
    // Sum of all lanes, in every lane.
    RZ_AVX2 static V sum_to_all(V v) {
        v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
        return _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
    }
    // Lane i receives the sum of lanes 0 .. i-1.
    RZ_AVX2 static V sum_before(V v) {
        V s = _mm_add_epi32(v, _mm_slli_si128(v, 4));
        s = _mm_add_epi32(s, _mm_slli_si128(s, 8));
        return _mm_sub_epi32(s, v);
    }
};

template <>
struct Lanes<8> {
    using V = __m256i;
    RZ_AVX2 static V load(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    RZ_AVX2 static V splat(int32_t x) { return _mm256_set1_epi32(x); }
    RZ_AVX2 static V add(V a, V b) { return _mm256_add_epi32(a, b); }
    RZ_AVX2 static V sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    RZ_AVX2 static V mul(V a, V b) { return _mm256_mullo_epi32(a, b); }
    RZ_AVX2 static V abs(V a) { return _mm256_abs_epi32(a); }
    RZ_AVX2 static V sign(V a, V b) { return _mm256_sign_epi32(a, b); }
    RZ_AVX2 static V greater(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    RZ_AVX2 static V shift_right(V a, __m128i n) { return _mm256_sra_epi32(a, n); }
    RZ_AVX2 static V shift_left(V a, __m128i n) { return _mm256_sll_epi32(a, n); }
    RZ_AVX2 static int32_t first(V a) { return _mm256_cvtsi256_si32(a); }
    RZ_AVX2 static V ramp() { return _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8); }
    RZ_AVX2 static V from_coefs(const int16_t* c) {
        return _mm256_setr_epi32(c[7], c[6], c[5], c[4], c[3], c[2], c[1], c[0]);
    }
    RZ_AVX2 static void store(int32_t* p, V a) { _mm256_storeu_si256(reinterpret_cast<V*>(p), a); }
    RZ_AVX2 static V sum_to_all(V v) {
        v = _mm256_add_epi32(v, _mm256_permute2x128_si256(v, v, 0x01));
        v = _mm256_add_epi32(v, _mm256_shuffle_epi32(v, 0x4E));
        return _mm256_add_epi32(v, _mm256_shuffle_epi32(v, 0xB1));
    }
    RZ_AVX2 static V sum_before(V v) {
        V s = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
        s = _mm256_add_epi32(s, _mm256_slli_si256(s, 8));
        // The low half's total (its lane 3) carried into the high half.
        const V carry = _mm256_shuffle_epi32(_mm256_permute2x128_si256(s, s, 0x08), 0xFF);
        return _mm256_sub_epi32(_mm256_add_epi32(s, carry), v);
    }
};

struct Shifts {
    __m128i wrap;       // 32 - chan_bits
    __m128i den_shift;  // prediction denominator
    int32_t half;       // rounding, 2^(den_shift - 1)
};

// One signal's state inside the loop: coefficients as int32 lanes.
template <int Taps>
struct Chain {
    using L = Lanes<Taps>;
    const int32_t* in;
    int32_t* residual;
    int16_t* coefs;
    typename L::V a;

    RZ_AVX2 explicit Chain(const Signal& s)
        : in(s.in), residual(s.residual), coefs(s.coefs), a(L::from_coefs(s.coefs)) {}

    RZ_AVX2 void finish() const {
        alignas(32) int32_t lanes[Taps];
        L::store(lanes, a);
        for (int i = 0; i < Taps; ++i) coefs[Taps - 1 - i] = int16_t(lanes[i]);
    }

    // Sample j: prediction, residual, adaptation.
    RZ_AVX2 void step(int32_t j, const Shifts& k) {
        using V = typename L::V;
        const int32_t oldest = in[j - Taps - 1];
        const V b = L::sub(L::splat(oldest), L::load(in + j - Taps));

        // Running-error thresholds for both signs of e, known before e is.
        const V magnitude = L::abs(b);
        const V down = L::mul(L::shift_right(magnitude, k.den_shift), L::ramp());
        const V up = L::mul(L::shift_right(L::sub(L::splat(0), magnitude), k.den_shift), L::ramp());
        const V above = L::sum_before(down);  // e > above: the tap still adapts
        const V below = L::sum_before(up);    // e < below: the tap still adapts

        const V dot = L::sum_to_all(L::mul(a, b));
        const V prediction = L::shift_right(L::sub(L::splat(k.half), dot), k.den_shift);
        const V target = L::splat(static_cast<int32_t>(uint32_t(in[j]) - uint32_t(oldest)));
        V e = L::sub(target, prediction);
        e = L::shift_right(L::shift_left(e, k.wrap), k.wrap);
        residual[j] = L::first(e);

        // -1 where e > 0 adapts, +1 where e < 0 adapts; times sgn(b) this
        // is the coefficient step.
        const V plus = L::greater(e, above);
        const V minus = L::greater(below, e);
        a = L::add(a, L::sign(L::sub(plus, minus), b));
    }
};

RZ_AVX2 Shifts make_shifts(uint32_t shift, uint32_t den_shift) {
    return {_mm_cvtsi32_si128(int(shift)), _mm_cvtsi32_si128(int(den_shift)),
            static_cast<int32_t>((1u << den_shift) >> 1)};
}

template <int Taps>
RZ_AVX2 void run_one(const Signal& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    const Shifts k = make_shifts(shift, den_shift);
    Chain<Taps> c(s);
    for (int32_t j = Taps + 1; j < count; ++j) c.step(j, k);
    c.finish();
}

// The shorter chain starts where the longer one does; its first samples
// are done on their own.
template <int TapsU, int TapsV>
RZ_AVX2 void run_two(const Signal& u, const Signal& v, int32_t count, uint32_t shift,
                     uint32_t den_shift) {
    const Shifts k = make_shifts(shift, den_shift);
    Chain<TapsU> cu(u);
    Chain<TapsV> cv(v);
    constexpr int32_t first = (TapsU > TapsV ? TapsU : TapsV) + 1;
    for (int32_t j = TapsU + 1; j < first && j < count; ++j) cu.step(j, k);
    for (int32_t j = TapsV + 1; j < first && j < count; ++j) cv.step(j, k);
    for (int32_t j = first; j < count; ++j) {
        cu.step(j, k);
        cv.step(j, k);
    }
    cu.finish();
    cv.finish();
}

void run_vector8(const Signal& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    run_one<8>(s, count, shift, den_shift);
}

void run_vector_pair(const Signal& u, int32_t order_u, const Signal& v, int32_t order_v,
                     int32_t count, uint32_t shift, uint32_t den_shift) {
    if (order_u == 4) {
        if (order_v == 4) {
            run_two<4, 4>(u, v, count, shift, den_shift);
        } else {
            run_two<4, 8>(u, v, count, shift, den_shift);
        }
    } else if (order_v == 4) {
        run_two<8, 4>(u, v, count, shift, den_shift);
    } else {
        run_two<8, 8>(u, v, count, shift, den_shift);
    }
}

#else

bool has_avx2() { return false; }
void run_vector8(const Signal&, int32_t, uint32_t, uint32_t) {}
void run_vector_pair(const Signal&, int32_t, const Signal&, int32_t, int32_t, uint32_t, uint32_t) {}

#endif

bool vector_order(int32_t order) { return order == 4 || order == 8; }

}  // namespace

bool adapt_vector(const Signal& s, int32_t count, int32_t order, uint32_t shift,
                  uint32_t den_shift) {
    // A lone 4-tap chain is shorter in scalar code; only pairs gain there.
    if (order != 8 || !has_avx2() || !block_in_range(s, count, order)) return false;
    run_vector8(s, count, shift, den_shift);
    return true;
}

bool adapt_vector_pair(const Signal& u, int32_t order_u, const Signal& v, int32_t order_v,
                       int32_t count, uint32_t shift, uint32_t den_shift) {
    if (!vector_order(order_u) || !vector_order(order_v) || !has_avx2() ||
        !block_in_range(u, count, order_u) || !block_in_range(v, count, order_v)) {
        return false;
    }
    run_vector_pair(u, order_u, v, order_v, count, shift, den_shift);
    return true;
}

}  // namespace qv::predictor_kernels
