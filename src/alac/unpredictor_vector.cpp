// The inverse of the vector predictor (see vector_lanes.h). The residual is
// known before the step, so the adaptation's compares wait only for the
// tap differences; the window of past samples stays in a register, since a
// vector load of samples stored one step before would stall.
//
// Exact under the same bounds as the predictor's vector loop: samples of at
// most 31 bits (every output is wrapped to chan_bits, sample 0 is checked),
// a prediction shift of at least 6, and coefficients that cannot reach the
// int16 limits within the block.
#include "alac/unpredictor_kernels.h"

#include "alac/vector_lanes.h"

namespace qv::unpredictor_kernels {

namespace {

[[maybe_unused]] bool wide_pairs_allowed = true;

bool block_in_range(const Signal& s, uint32_t count, uint32_t chan_bits) {
    constexpr int32_t limit = int32_t{1} << 30;
    if ((s.order != 4 && s.order != 8) || chan_bits > 31 || count <= s.order + 1) return false;
    return s.samples[0] >= -limit && s.samples[0] < limit &&
           vector_lanes::coefficients_in_range(s.coefs, int32_t(s.order), int32_t(count), s.den_shift);
}

#ifdef RZ_HAVE_X86_VECTOR

using namespace vector_lanes;

// One signal's state inside the loop.
template <int Taps>
struct Chain {
    using L = Lanes<Taps>;
    using V = typename L::V;
    int32_t* x;
    int16_t* coefs;
    Shifts k;
    Coefficients<Taps> a;
    V window;  // x[j - Taps .. j - 1]

    RZ_AVX2 Chain(const Signal& s, uint32_t wrap)
        : x(s.samples), coefs(s.coefs), k(make_shifts(wrap, s.den_shift)), a(s.coefs),
          window(L::load(s.samples + 1)) {}

    RZ_AVX2 void finish() const { a.store(coefs); }

    // Sample j: the signal from the residual (also returned), then the
    // adaptation.
    RZ_AVX2 int32_t step(int32_t j) {
        const int32_t oldest = x[j - Taps - 1];
        const int32_t e = x[j];
        const V b = L::sub(L::splat(oldest), window);
        const V base = L::splat(static_cast<int32_t>(uint32_t(e) + uint32_t(oldest)));
        const V value = wrap_lanes<Taps>(L::add(base, a.predict(b, k)), k);
        const int32_t sample = L::first(value);
        x[j] = sample;
        a.adapt(b, L::splat(e), k);
        window = L::advance(window, value);
        return sample;
    }
};

#define RZ_AVX512 __attribute__((target("avx2,avx512f")))

// A pair's two chains in one 512-bit vector: U's taps in lanes 0 .. 7 and
// V's in lanes 8 .. 15, each half laid out as Lanes<8> lays out 8 taps. A
// 4-tap signal leaves the four lowest lanes of its half unused; its tap
// differences are held at zero there, which keeps those coefficients,
// products and steps at zero. Every step is then one set of vector
// operations for both signals, where two 256-bit chains take two.
//
// The newest sample's tap (lanes 7 and 15) is taken apart from the others,
// so that the serial chain from one sample to the next is one multiply and
// the rounding: the other taps' products, their sum and every adaptation
// compare need only samples one step older. (The adaptation's sums never
// include the newest tap, which the adaptation visits last.)
template <int TapsU, int TapsV>
struct PairChain {
    int32_t* xu;
    int32_t* xv;
    int16_t* coefs_u;
    int16_t* coefs_v;
    __m512i a;
    __m512i a_newest;  // each half: the newest tap's coefficient, in all lanes
    __m512i window;    // each half: its signal's x[j - 9 .. j - 2]
    __m512i newest;    // each half: its signal's x[j - 1], in all lanes
    __m512i ramp;      // each half: the adaptation's step weights, 1 for the oldest tap
    __m512i den_shift;
    __m512i half;
    __m128i wrap;
    // The lanes that hold taps, and those without the newest one.
    static constexpr __mmask16 taps = __mmask16(((0xFFu << (8 - TapsU)) & 0xFFu) |
                                                ((0xFF00u << (8 - TapsV)) & 0xFF00u));
    static constexpr __mmask16 newest_lanes = 0x8080;
    static constexpr __mmask16 older_taps = taps & ~newest_lanes;

    // Lanes 0 .. 7 from `low`, 8 .. 15 from `high`.
    RZ_AVX512 static __m512i halves(int32_t low, int32_t high) {
        return _mm512_mask_set1_epi32(_mm512_set1_epi32(low), 0xFF00, high);
    }

    // Starts at sample 9.
    RZ_AVX512 PairChain(const Signal& u, const Signal& v, uint32_t wrap_shift)
        : xu(u.samples), xv(v.samples), coefs_u(u.coefs), coefs_v(v.coefs) {
        alignas(64) int32_t lanes[16] = {};
        alignas(64) int32_t weights[16] = {};
        for (int i = 0; i < TapsU; ++i) {
            lanes[8 - TapsU + i] = u.coefs[TapsU - 1 - i];
            weights[8 - TapsU + i] = i + 1;
        }
        for (int i = 0; i < TapsV; ++i) {
            lanes[16 - TapsV + i] = v.coefs[TapsV - 1 - i];
            weights[16 - TapsV + i] = i + 1;
        }
        a = _mm512_load_si512(lanes);
        a_newest = halves(u.coefs[0], v.coefs[0]);
        ramp = _mm512_load_si512(weights);
        den_shift = halves(int32_t(u.den_shift), int32_t(v.den_shift));
        half = halves(int32_t((1u << u.den_shift) >> 1), int32_t((1u << v.den_shift) >> 1));
        wrap = _mm_cvtsi32_si128(int(wrap_shift));
        window = _mm512_inserti64x4(
            _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(xu))),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xv)), 1);
        newest = halves(xu[8], xv[8]);
    }

    RZ_AVX512 void finish() const {
        alignas(64) int32_t lanes[16];
        _mm512_store_si512(lanes, a);
        for (int i = 0; i < TapsU; ++i) coefs_u[TapsU - 1 - i] = int16_t(lanes[8 - TapsU + i]);
        for (int i = 0; i < TapsV; ++i) coefs_v[TapsV - 1 - i] = int16_t(lanes[16 - TapsV + i]);
    }

    // The sum of each half, in all its lanes.
    RZ_AVX512 static __m512i sum_halves(__m512i v) {
        v = _mm512_add_epi32(v, _mm512_shuffle_i32x4(v, v, 0xB1));
        v = _mm512_add_epi32(v, _mm512_shuffle_epi32(v, _MM_PERM_BADC));
        return _mm512_add_epi32(v, _mm512_shuffle_epi32(v, _MM_PERM_CDAB));
    }

    // Lanes `n` places up within each half, zeros coming in.
    template <int N>
    RZ_AVX512 static __m512i up(__m512i v) {
        constexpr __mmask16 kept = __mmask16((0xFFu << N) & 0xFFu) * 0x0101;
        return _mm512_maskz_alignr_epi32(kept, v, _mm512_setzero_si512(), 16 - N);
    }

    // Lane i of each half receives the sum of the half's lanes before it.
    RZ_AVX512 static __m512i sum_before(__m512i v) {
        __m512i s = _mm512_add_epi32(v, up<1>(v));
        s = _mm512_add_epi32(s, up<2>(s));
        s = _mm512_add_epi32(s, up<4>(s));
        return _mm512_sub_epi32(s, v);
    }

    // Sample j of both signals, as Chain<Taps>::step does it for each.
    RZ_AVX512 void step(int32_t j, int32_t& out_u, int32_t& out_v) {
        const __m512i oldest = halves(xu[j - TapsU - 1], xv[j - TapsV - 1]);
        const __m512i e = halves(xu[j], xv[j]);
        // x[j - 8 .. j - 2] in lanes 0 .. 6 of each half.
        const __m512i moved = _mm512_alignr_epi32(window, window, 1);
        const __m512i older_b = _mm512_maskz_sub_epi32(older_taps, oldest, moved);
        const __m512i rest =
            _mm512_sub_epi32(half, sum_halves(_mm512_mullo_epi32(a, older_b)));
        const __m512i newest_b = _mm512_sub_epi32(oldest, newest);
        const __m512i rounded = _mm512_srav_epi32(
            _mm512_sub_epi32(rest, _mm512_mullo_epi32(a_newest, newest_b)), den_shift);
        __m512i value = _mm512_add_epi32(_mm512_add_epi32(e, oldest), rounded);
        value = _mm512_sra_epi32(_mm512_sll_epi32(value, wrap), wrap);
        out_u = _mm512_cvtsi512_si32(value);
        out_v = _mm_cvtsi128_si32(_mm512_extracti32x4_epi32(value, 2));
        xu[j] = out_u;
        xv[j] = out_v;

        // The adaptation as Coefficients::adapt has it, with kmasks.
        const __m512i magnitude = _mm512_abs_epi32(older_b);
        const __m512i down = _mm512_mullo_epi32(_mm512_srav_epi32(magnitude, den_shift), ramp);
        const __m512i rise = _mm512_mullo_epi32(
            _mm512_srav_epi32(_mm512_sub_epi32(_mm512_setzero_si512(), magnitude), den_shift), ramp);
        const __mmask16 plus = _mm512_cmpgt_epi32_mask(e, sum_before(down));
        const __mmask16 minus = _mm512_cmpgt_epi32_mask(sum_before(rise), e);
        const __m512i b = _mm512_mask_blend_epi32(newest_lanes, older_b, newest_b);
        const __m512i sign =
            _mm512_max_epi32(_mm512_min_epi32(b, _mm512_set1_epi32(1)), _mm512_set1_epi32(-1));
        a = _mm512_mask_sub_epi32(a, plus, a, sign);
        a = _mm512_mask_add_epi32(a, minus, a, sign);
        a_newest = _mm512_permutexvar_epi32(
            _mm512_setr_epi32(7, 7, 7, 7, 7, 7, 7, 7, 15, 15, 15, 15, 15, 15, 15, 15), a);

        window = _mm512_mask_blend_epi32(newest_lanes, moved, newest);
        newest = value;
    }
};

// The pair in one vector from sample 9 on; a 4-tap signal's samples 5 .. 8
// come first on their own. The hook as run_chains has it.
template <int TapsU, int TapsV, typename Hook>
RZ_AVX512 void run_pair_chain(const Signal& u, const Signal& v, uint32_t count, uint32_t wrap,
                              Hook& hook) {
    constexpr int32_t first = 9;
    const int32_t n = int32_t(count);
    if constexpr (TapsU == 4) {
        Chain<4> c(u, wrap);
        for (int32_t j = 5; j < first && j < n; ++j) c.step(j);
        c.finish();
    }
    if constexpr (TapsV == 4) {
        Chain<4> c(v, wrap);
        for (int32_t j = 5; j < first && j < n; ++j) c.step(j);
        c.finish();
    }
    hook.start(first < n ? first : n);
    if (n <= first) return;
    // On a local copy the hook's state can stay in registers; through the
    // reference it would go to memory and back around every sample stored.
    Hook local = hook;
    PairChain<TapsU, TapsV> pair(u, v, wrap);
    for (int32_t j = first; j < n && local.ready(j); ++j) {
        int32_t out_u, out_v;
        pair.step(j, out_u, out_v);
        local.next(out_u, out_v);
    }
    pair.finish();
    hook = local;
}

template <int Taps>
RZ_AVX2 void run_one(const Signal& s, uint32_t count, uint32_t wrap) {
    Chain<Taps> c(s, wrap);
    for (int32_t j = Taps + 1; j < int32_t(count); ++j) c.step(j);
    c.finish();
}

// Decodes residuals until sample j's is in; false on a decoding error.
inline bool decode_through(golomb_reader::UsualResidualReader& reader, int32_t j,
                           AlacDecodeStatus& status) {
    if (reader.decoded() > uint32_t(j)) return true;
    status = reader.step();
    return status == AlacDecodeStatus::ok;
}

// The pair loop's hook for residuals decoded just before the rebuild needs
// them, V's and, with BothSignals, U's, so that the scalar decoding
// overlaps the vector filter; a decoding error stops the loop. (Already
// decoded ones need no hook.)
// The readers are held by value, so that a loop working on a copy of the
// hook keeps their state in registers.
template <bool BothSignals>
struct Decoding : NoHook {
    golomb_reader::UsualResidualReader u;  // unused without BothSignals
    golomb_reader::UsualResidualReader v;
    AlacDecodeStatus status = AlacDecodeStatus::ok;
    bool ready(int32_t j) {
        if constexpr (BothSignals) {
            if (!decode_through(u, j, status)) return false;
        }
        return decode_through(v, j, status);
    }
};

template <int TapsU, int TapsV, typename Source>
RZ_AVX2 void run_two(const Signal& u, const Signal& v, uint32_t count, uint32_t wrap,
                     Source& source) {
    if (wide_pairs_allowed && has_avx512()) {
        run_pair_chain<TapsU, TapsV>(u, v, count, wrap, source);
        return;
    }
    Chain<TapsU> cu(u, wrap);
    Chain<TapsV> cv(v, wrap);
    run_chains<TapsU, TapsV>(cu, cv, int32_t(count), source);
}

void run_vector8(const Signal& s, uint32_t count, uint32_t wrap) { run_one<8>(s, count, wrap); }

template <typename Source>
void run_vector_pair(const Signal& u, const Signal& v, uint32_t count, uint32_t wrap,
                     Source&& source) {
    with_tap_counts(int(u.order), int(v.order), [&](auto taps_u, auto taps_v) {
        run_two<taps_u(), taps_v()>(u, v, count, wrap, source);
    });
}

#else

bool has_avx2() { return false; }
void run_vector8(const Signal&, uint32_t, uint32_t) {}
template <bool BothSignals>
struct Decoding : vector_lanes::NoHook {
    golomb_reader::UsualResidualReader u;
    golomb_reader::UsualResidualReader v;
    AlacDecodeStatus status = AlacDecodeStatus::ok;
};
template <typename Source>
void run_vector_pair(const Signal&, const Signal&, uint32_t, uint32_t, Source&&) {}

#endif

}  // namespace

void allow_512_bit_pairs(bool allowed) { wide_pairs_allowed = allowed; }

bool rebuild_vector(const Signal& s, uint32_t count, uint32_t chan_bits) {
    // A lone 4-tap chain is shorter in scalar code; only pairs gain there.
    if (s.order != 8 || !has_avx2() || !block_in_range(s, count, chan_bits)) return false;
    run_vector8(s, count, 32 - chan_bits);
    return true;
}

bool vector_pair_possible(const Signal& u, const Signal& v, uint32_t count, uint32_t chan_bits) {
    return has_avx2() && block_in_range(u, count, chan_bits) && block_in_range(v, count, chan_bits);
}

bool rebuild_vector_pair(const Signal& u, const Signal& v, uint32_t count, uint32_t chan_bits) {
    if (!vector_pair_possible(u, v, count, chan_bits)) return false;
    run_vector_pair(u, v, count, 32 - chan_bits, vector_lanes::NoHook{});
    return true;
}

AlacDecodeStatus rebuild_vector_pair_decoding(const Signal& u, const Signal& v, uint32_t count,
                                              uint32_t chan_bits,
                                              golomb_reader::UsualResidualReader* u_rest,
                                              golomb_reader::UsualResidualReader& v_rest) {
    if (u_rest != nullptr) {
        Decoding<true> hook{{}, *u_rest, v_rest};
        run_vector_pair(u, v, count, 32 - chan_bits, hook);
        *u_rest = hook.u;
        v_rest = hook.v;
        return hook.status;
    }
    Decoding<false> hook{{}, v_rest, v_rest};
    run_vector_pair(u, v, count, 32 - chan_bits, hook);
    v_rest = hook.v;
    return hook.status;
}

}  // namespace qv::unpredictor_kernels
