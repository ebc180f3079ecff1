#pragma once
// The AVX2 lane operations shared by the vector predictor and the vector
// inverse predictor, and the sign-sign adaptation written once for both.
// Only for x86 builds; everything here is compiled for AVX2 and must run
// only where simd_allows(SimdLevel::avx2) (see simd_level.h).
#include <cstdint>
#include <cstdlib>
#include <type_traits>

namespace qv::vector_lanes {

// The bounds that both vector loops need besides the samples' range: a
// prediction shift of at least 6 keeps the sum of the steps (at most 36
// times 2^31 >> den_shift) inside int32, and coefficients that cannot reach
// the int16 limits within the block need no wrap (each sample moves a
// coefficient by at most one).
inline bool coefficients_in_range(const int16_t* coefs, int32_t taps, int32_t count,
                                  uint32_t den_shift) {
    if (den_shift < 6) return false;
    const int32_t steps = count - taps - 1;
    for (int32_t k = 0; k < taps; ++k) {
        if (std::abs(int32_t(coefs[k])) + steps > 32767) return false;
    }
    return true;
}

// A pair loop hook (see run_chains) that does nothing beyond the loop.
struct NoHook {
    void start(int32_t) {}
    bool ready(int32_t) { return true; }
    void next(int32_t, int32_t) {}
};

}  // namespace qv::vector_lanes

#if defined(__x86_64__) || defined(__i386__)
// g++ 12's AVX-512 headers build their "undefined" vectors by initialising a
// variable with itself, which its flow analysis then reports as a possibly
// (optimised) or certainly (sanitized) uninitialised use; the headers are not
// ours to mend. clang neither reports it nor knows the second warning's name.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif
#define RZ_HAVE_X86_VECTOR 1
#define RZ_AVX2 __attribute__((target("avx2")))

namespace qv::vector_lanes {

// The lane operations for 4 taps (one 128-bit vector) and 8 taps (one
// 256-bit vector), so that one loop serves both orders. Lane i belongs to
// tap order - 1 - i, so a plain load of x[j-order .. j-1] gives the taps'
// samples and lane order is the order in which the adaptation visits the
// taps (oldest first).
template <int Taps>
struct Lanes;

template <>
struct Lanes<4> {
    using V = __m128i;
    RZ_AVX2 static V load(const int32_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const V*>(p));
    }
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
    // The window one sample on: lanes move down by one and the last lane
    // takes `newest`, which holds the new sample in every lane.
    RZ_AVX2 static V advance(V window, V newest) { return _mm_alignr_epi8(newest, window, 4); }
};

template <>
struct Lanes<8> {
    using V = __m256i;
    RZ_AVX2 static V load(const int32_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
    }
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
    RZ_AVX2 static V advance(V window, V newest) {
        const V down =
            _mm256_permutevar8x32_epi32(window, _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7));
        return _mm256_blend_epi32(down, newest, 0x80);
    }
};

struct Shifts {
    __m128i wrap;       // 32 - chan_bits (mod 32)
    __m128i den_shift;  // prediction denominator
    int32_t half;       // rounding, 2^(den_shift - 1)
};

RZ_AVX2 inline Shifts make_shifts(uint32_t wrap, uint32_t den_shift) {
    return {_mm_cvtsi32_si128(int(wrap)), _mm_cvtsi32_si128(int(den_shift)),
            static_cast<int32_t>((1u << den_shift) >> 1)};
}

// The coefficients of one signal as int32 lanes, and the two steps that
// use them. `b` holds oldest - x for each tap's sample x.
//
// The adaptation stops at the first tap after which the running error e'
// has left e's sign. Each step moves e' towards zero by (i + 1) * g_i, with
// g_i = |b_i| >> den_shift when e > 0 and (-|b_i|) >> den_shift when e < 0,
// so e' is monotonic and tap i is updated exactly when e lies beyond the
// sum of the steps before it. Those sums depend only on the signal, so they
// are ready before e is known, and the update becomes two compares and one
// signed add. This is exact while the sums and the coefficients do not
// wrap; the callers make sure of that.
template <int Taps>
struct Coefficients {
    using L = Lanes<Taps>;
    using V = typename L::V;
    V a;

    RZ_AVX2 explicit Coefficients(const int16_t* coefs) : a(L::from_coefs(coefs)) {}

    RZ_AVX2 void store(int16_t* coefs) const {
        alignas(32) int32_t lanes[Taps];
        L::store(lanes, a);
        for (int i = 0; i < Taps; ++i) coefs[Taps - 1 - i] = int16_t(lanes[i]);
    }

    // The rounded prediction of the next sample relative to oldest, in every lane.
    RZ_AVX2 V predict(V b, const Shifts& k) const {
        const V dot = L::sum_to_all(L::mul(a, b));
        return L::shift_right(L::sub(L::splat(k.half), dot), k.den_shift);
    }

    // Sign-sign adaptation for residual e (in every lane).
    RZ_AVX2 void adapt(V b, V e, const Shifts& k) {
        const V magnitude = L::abs(b);
        const V down = L::mul(L::shift_right(magnitude, k.den_shift), L::ramp());
        const V up = L::mul(L::shift_right(L::sub(L::splat(0), magnitude), k.den_shift), L::ramp());
        const V above = L::sum_before(down);  // e > above: the tap still adapts
        const V below = L::sum_before(up);    // e < below: the tap still adapts
        // -1 where e > 0 adapts, +1 where e < 0 adapts; times sgn(b) this
        // is the coefficient step.
        const V plus = L::greater(e, above);
        const V minus = L::greater(below, e);
        a = L::add(a, L::sign(L::sub(plus, minus), b));
    }
};

// Sign-extends the low 32 - wrap bits of every lane.
template <int Taps>
RZ_AVX2 inline typename Lanes<Taps>::V wrap_lanes(typename Lanes<Taps>::V v, const Shifts& k) {
    using L = Lanes<Taps>;
    return L::shift_right(L::shift_left(v, k.wrap), k.wrap);
}

// Calls f(TapCount<order_u>{}, TapCount<order_v>{}) for two orders of 4 or 8, so
// that a pair loop is instantiated for each of the four combinations.
template <int N>
using TapCount = std::integral_constant<int, N>;

template <class F>
inline void with_tap_counts(int order_u, int order_v, F&& f) {
    if (order_u == 4) {
        if (order_v == 4)
            f(TapCount<4>{}, TapCount<4>{});
        else
            f(TapCount<4>{}, TapCount<8>{});
    } else if (order_v == 4) {
        f(TapCount<8>{}, TapCount<4>{});
    } else {
        f(TapCount<8>{}, TapCount<8>{});
    }
}

// Runs two chains of TapsU and TapsV taps over samples taps + 1 .. count - 1
// each, their steps interleaved so that the two serial chains overlap. The
// shorter chain starts where the longer one does; its first samples are done
// on their own. A chain has step(j), returning the sample's output, and
// finish(). The hook sees the loop: start(ready) once samples 0 .. ready - 1
// of both are done, ready(j) before the joint step j (false stops the loop),
// next(out_u, out_v) after it.
template <int TapsU, int TapsV, typename ChainU, typename ChainV, typename Hook>
RZ_AVX2 inline void run_chains(ChainU& cu, ChainV& cv, int32_t count, Hook& hook) {
    constexpr int32_t first = (TapsU > TapsV ? TapsU : TapsV) + 1;
    for (int32_t j = TapsU + 1; j < first && j < count; ++j) cu.step(j);
    for (int32_t j = TapsV + 1; j < first && j < count; ++j) cv.step(j);
    hook.start(first < count ? first : count);
    for (int32_t j = first; j < count && hook.ready(j); ++j) {
        const int32_t out_u = cu.step(j);
        const int32_t out_v = cv.step(j);
        hook.next(out_u, out_v);
    }
    cu.finish();
    cv.finish();
}

}  // namespace qv::vector_lanes

#endif
