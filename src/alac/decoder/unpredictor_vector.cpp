// The inverse of the vector predictor (see vector_lanes.h). The residual is
// known before the step, so the adaptation's compares wait only for the
// tap differences; the window of past samples stays in a register, since a
// vector load of samples stored one step before would stall.
//
// Exact under the same bounds as the predictor's vector loop: samples of at
// most 31 bits (every output is wrapped to chan_bits, sample 0 is checked),
// a prediction shift of at least 6, and coefficients that cannot reach the
// int16 limits within the block.
#include "alac/common/simd_level.h"
#include "alac/common/vector_lanes.h"
#include "alac/decoder/unpredictor_kernels.h"

namespace qv::unpredictor_kernels {

namespace {

bool block_in_range(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits) {
    constexpr int32_t limit = int32_t{1} << 30;
    if ((s.order != 4 && s.order != 8) || chan_bits > 31 || count <= s.order + 1) return false;
    return s.samples[0] >= -limit && s.samples[0] < limit &&
           vector_lanes::coefficients_in_range(s.coefs, int32_t(s.order), int32_t(count),
                                               s.den_shift);
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

    RZ_AVX2 Chain(const UnpredictorInput& s, uint32_t wrap)
        : x(s.samples),
          coefs(s.coefs),
          k(make_shifts(wrap, s.den_shift)),
          a(s.coefs),
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

#define RZ_AVX512 __attribute__((target("avx2,avx512f,avx512vl,bmi,bmi2")))

// The vector operations of the pair loop below, for a vector of two halves
// of H lanes each: H = 8 in a 512-bit vector, H = 4 in a 256-bit one (two
// 4-tap signals, at half the cost per operation where the processor splits
// 512-bit work in two). "Within each half" means lanes never cross from one
// signal to the other.
template <int H>
struct PairLanes;

template <>
struct PairLanes<8> {
    using V = __m512i;
    using Mask = __mmask16;
    RZ_AVX512 static V splat(int32_t x) { return _mm512_set1_epi32(x); }
    // Lanes 0 .. 7 from `low`, 8 .. 15 from `high`.
    RZ_AVX512 static V halves(int32_t low, int32_t high) {
        return _mm512_mask_set1_epi32(_mm512_set1_epi32(low), 0xFF00, high);
    }
    RZ_AVX512 static V load_halves(const int32_t* low, const int32_t* high) {
        return _mm512_inserti64x4(
            _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(low))),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(high)), 1);
    }
    RZ_AVX512 static V load(const int32_t* p) { return _mm512_loadu_si512(p); }
    RZ_AVX512 static void store(int32_t* p, V a) { _mm512_storeu_si512(p, a); }
    RZ_AVX512 static int32_t low_first(V a) { return _mm512_cvtsi512_si32(a); }
    RZ_AVX512 static int32_t high_first(V a) {
        return _mm_cvtsi128_si32(_mm512_extracti32x4_epi32(a, 2));
    }
    RZ_AVX512 static V add(V a, V b) { return _mm512_add_epi32(a, b); }
    RZ_AVX512 static V sub(V a, V b) { return _mm512_sub_epi32(a, b); }
    RZ_AVX512 static V mul(V a, V b) { return _mm512_mullo_epi32(a, b); }
    RZ_AVX512 static V abs(V a) { return _mm512_abs_epi32(a); }
    RZ_AVX512 static V min(V a, V b) { return _mm512_min_epi32(a, b); }
    RZ_AVX512 static V max(V a, V b) { return _mm512_max_epi32(a, b); }
    RZ_AVX512 static V shift_right(V a, V n) { return _mm512_srav_epi32(a, n); }
    RZ_AVX512 static V wrap(V a, __m128i n) { return _mm512_sra_epi32(_mm512_sll_epi32(a, n), n); }
    template <Mask M>
    RZ_AVX512 static V sub_where(V a, V b) {
        return _mm512_maskz_sub_epi32(M, a, b);
    }
    RZ_AVX512 static V sub_in(V a, Mask m, V b) { return _mm512_mask_sub_epi32(a, m, a, b); }
    RZ_AVX512 static V add_in(V a, Mask m, V b) { return _mm512_mask_add_epi32(a, m, a, b); }
    template <Mask M>
    RZ_AVX512 static V blend(V a, V b) {
        return _mm512_mask_blend_epi32(M, a, b);
    }
    RZ_AVX512 static Mask greater(V a, V b) { return _mm512_cmpgt_epi32_mask(a, b); }
    // The sum of each half, in all its lanes.
    RZ_AVX512 static V sum_halves(V v) {
        v = _mm512_add_epi32(v, _mm512_shuffle_i32x4(v, v, 0xB1));
        v = _mm512_add_epi32(v, _mm512_shuffle_epi32(v, _MM_PERM_BADC));
        return _mm512_add_epi32(v, _mm512_shuffle_epi32(v, _MM_PERM_CDAB));
    }
    // Lane i of each half receives the sum of the half's lanes before it.
    RZ_AVX512 static V sum_before(V v) {
        V s = _mm512_add_epi32(v, up<1>(v));
        s = _mm512_add_epi32(s, up<2>(s));
        s = _mm512_add_epi32(s, up<4>(s));
        return _mm512_sub_epi32(s, v);
    }
    // Every lane one place down; the top lane of each half takes what
    // happens to come in.
    RZ_AVX512 static V down(V v) { return _mm512_alignr_epi32(v, v, 1); }
    // Each half's top lane, in all its lanes.
    RZ_AVX512 static V spread_top(V v) {
        return _mm512_permutexvar_epi32(
            _mm512_setr_epi32(7, 7, 7, 7, 7, 7, 7, 7, 15, 15, 15, 15, 15, 15, 15, 15), v);
    }

private:
    // Lanes N places up within each half, zeros coming in.
    template <int N>
    RZ_AVX512 static V up(V v) {
        constexpr Mask kept = Mask((0xFFu << N) & 0xFFu) * 0x0101;
        return _mm512_maskz_alignr_epi32(kept, v, _mm512_setzero_si512(), 16 - N);
    }
};

// Each half is one 128-bit lane, so every shuffle stays within it. The
// unmasked 256-bit operations are the 8-tap lanes' own; shift_right and
// sum_before below replace theirs (per-lane shifts, sums within each half).
template <>
struct PairLanes<4> : Lanes<8> {
    using Mask = __mmask8;
    // The lane choices with constant masks are immediate blends here, which
    // leave the few mask registers to the adaptation.
    RZ_AVX512 static V halves(int32_t low, int32_t high) {
        return _mm256_blend_epi32(_mm256_set1_epi32(low), _mm256_set1_epi32(high), 0xF0);
    }
    RZ_AVX512 static V load_halves(const int32_t* low, const int32_t* high) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
    }
    RZ_AVX512 static int32_t low_first(V a) { return first(a); }
    RZ_AVX512 static int32_t high_first(V a) {
        return _mm_cvtsi128_si32(_mm256_extracti128_si256(a, 1));
    }
    RZ_AVX512 static V min(V a, V b) { return _mm256_min_epi32(a, b); }
    RZ_AVX512 static V max(V a, V b) { return _mm256_max_epi32(a, b); }
    RZ_AVX512 static V shift_right(V a, V n) { return _mm256_srav_epi32(a, n); }
    RZ_AVX512 static V wrap(V a, __m128i n) { return _mm256_sra_epi32(_mm256_sll_epi32(a, n), n); }
    template <Mask M>
    RZ_AVX512 static V sub_where(V a, V b) {
        return _mm256_blend_epi32(_mm256_setzero_si256(), _mm256_sub_epi32(a, b), M);
    }
    RZ_AVX512 static V sub_in(V a, Mask m, V b) { return _mm256_mask_sub_epi32(a, m, a, b); }
    RZ_AVX512 static V add_in(V a, Mask m, V b) { return _mm256_mask_add_epi32(a, m, a, b); }
    template <Mask M>
    RZ_AVX512 static V blend(V a, V b) {
        return _mm256_blend_epi32(a, b, M);
    }
    RZ_AVX512 static Mask greater(V a, V b) { return _mm256_cmpgt_epi32_mask(a, b); }
    RZ_AVX512 static V sum_halves(V v) {
        v = _mm256_add_epi32(v, _mm256_shuffle_epi32(v, 0x4E));
        return _mm256_add_epi32(v, _mm256_shuffle_epi32(v, 0xB1));
    }
    RZ_AVX512 static V sum_before(V v) {
        V s = _mm256_add_epi32(v, _mm256_bslli_epi128(v, 4));
        s = _mm256_add_epi32(s, _mm256_bslli_epi128(s, 8));
        return _mm256_sub_epi32(s, v);
    }
    RZ_AVX512 static V down(V v) { return _mm256_alignr_epi8(v, v, 4); }
    RZ_AVX512 static V spread_top(V v) { return _mm256_shuffle_epi32(v, 0xFF); }
};

// A pair's two chains in one vector: U's taps in the low half, V's in the
// high half, each laid out as Lanes<H> lays out H taps. A 4-tap signal in
// 8-lane halves leaves the four lowest lanes of its half unused; its tap
// differences are held at zero there, which keeps those coefficients,
// products and steps at zero. Every step is then one set of vector
// operations for both signals, where two chains take two.
//
// The newest sample's tap (each half's top lane) is taken apart from the
// others, so that the serial chain from one sample to the next is one
// multiply and the rounding: the other taps' products, their sum and every
// adaptation compare need only samples one step older. (The adaptation's
// sums never include the newest tap, which the adaptation visits last.) Its
// product a * (oldest - newest) is taken as a * newest added to the rest
// less a * oldest, equal modulo 2^32 like every sum here before the shift,
// which keeps the subtraction off that chain.
template <int TapsU, int TapsV, int H>
struct PairChain {
    using P = PairLanes<H>;
    using V = typename P::V;
    using Mask = typename P::Mask;
    static constexpr uint32_t half_lanes = (1u << H) - 1;
    // The lanes that hold taps, and those without the newest one.
    static constexpr Mask taps = Mask(((half_lanes << (H - TapsU)) & half_lanes) |
                                      (((half_lanes << (H - TapsV)) & half_lanes) << H));
    static constexpr Mask newest_lanes = Mask((1u << (H - 1)) | (1u << (2 * H - 1)));
    static constexpr Mask older_taps = taps & ~newest_lanes;
    // The first sample the loop rebuilds, once the window is full.
    static constexpr int32_t first = H + 1;

    int32_t* xu;
    int32_t* xv;
    int16_t* coefs_u;
    int16_t* coefs_v;
    V a;
    V a_newest;  // each half: the newest tap's coefficient, in all lanes
    V window;    // each half: its signal's x[j - H - 1 .. j - 2]
    V newest;    // each half: its signal's x[j - 1], in all lanes
    V ramp;      // each half: the adaptation's step weights, 1 for the oldest tap
    V den_shift;
    V half;
    __m128i wrap;

    // Starts at sample `first`.
    RZ_AVX512 PairChain(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t wrap_shift)
        : xu(u.samples), xv(v.samples), coefs_u(u.coefs), coefs_v(v.coefs) {
        int32_t lanes[2 * H] = {};
        int32_t weights[2 * H] = {};
        for (int i = 0; i < TapsU; ++i) {
            lanes[H - TapsU + i] = u.coefs[TapsU - 1 - i];
            weights[H - TapsU + i] = i + 1;
        }
        for (int i = 0; i < TapsV; ++i) {
            lanes[2 * H - TapsV + i] = v.coefs[TapsV - 1 - i];
            weights[2 * H - TapsV + i] = i + 1;
        }
        a = P::load(lanes);
        a_newest = P::halves(u.coefs[0], v.coefs[0]);
        ramp = P::load(weights);
        den_shift = P::halves(int32_t(u.den_shift), int32_t(v.den_shift));
        half = P::halves(int32_t((1u << u.den_shift) >> 1), int32_t((1u << v.den_shift) >> 1));
        wrap = _mm_cvtsi32_si128(int(wrap_shift));
        window = P::load_halves(xu, xv);
        newest = P::halves(xu[H], xv[H]);
    }

    RZ_AVX512 void finish() const {
        int32_t lanes[2 * H];
        P::store(lanes, a);
        for (int i = 0; i < TapsU; ++i) coefs_u[TapsU - 1 - i] = int16_t(lanes[H - TapsU + i]);
        for (int i = 0; i < TapsV; ++i) coefs_v[TapsV - 1 - i] = int16_t(lanes[2 * H - TapsV + i]);
    }

    // Sample j of both signals, as Chain<Taps>::step does it for each.
    RZ_AVX512 void step(int32_t j, int32_t& out_u, int32_t& out_v) {
        const V oldest = P::halves(xu[j - TapsU - 1], xv[j - TapsV - 1]);
        const V e = P::halves(xu[j], xv[j]);
        // x[j - H .. j - 2] in the lower H - 1 lanes of each half.
        const V moved = P::down(window);
        const V older_b = P::template sub_where<older_taps>(oldest, moved);
        const V rest =
            P::sub(P::sub(half, P::sum_halves(P::mul(a, older_b))), P::mul(a_newest, oldest));
        const V rounded = P::shift_right(P::add(rest, P::mul(a_newest, newest)), den_shift);
        const V value = P::wrap(P::add(P::add(e, oldest), rounded), wrap);
        out_u = P::low_first(value);
        out_v = P::high_first(value);
        xu[j] = out_u;
        xv[j] = out_v;

        // The adaptation as Coefficients::adapt has it, with kmasks.
        const V magnitude = P::abs(older_b);
        const V down = P::mul(P::shift_right(magnitude, den_shift), ramp);
        const V rise = P::mul(P::shift_right(P::sub(P::splat(0), magnitude), den_shift), ramp);
        const Mask plus = P::greater(e, P::sum_before(down));
        const Mask minus = P::greater(P::sum_before(rise), e);
        const V b = P::template blend<newest_lanes>(older_b, P::sub(oldest, newest));
        const V sign = P::max(P::min(b, P::splat(1)), P::splat(-1));
        a = P::add_in(P::sub_in(a, plus, sign), minus, sign);
        a_newest = P::spread_top(a);

        window = P::template blend<newest_lanes>(moved, newest);
        newest = value;
    }
};

// Two 4-tap signals take the 256-bit form, which needs AVX-512's 256-bit
// masked operations too; every other pair takes the 512-bit one.
template <int TapsU, int TapsV>
constexpr int pair_half_lanes = TapsU == 4 && TapsV == 4 ? 4 : 8;

// The pair in one vector from sample PairChain::first on; a signal with
// fewer taps than the halves have lanes does its samples before that on its
// own. The hook as run_chains has it.
template <int TapsU, int TapsV, typename Hook>
RZ_AVX512 void run_pair_chain(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                              uint32_t wrap, Hook& hook) {
    using Pair = PairChain<TapsU, TapsV, pair_half_lanes<TapsU, TapsV>>;
    constexpr int32_t first = Pair::first;
    const int32_t n = int32_t(count);
    if constexpr (TapsU + 1 < first) {
        Chain<TapsU> c(u, wrap);
        for (int32_t j = TapsU + 1; j < first && j < n; ++j) c.step(j);
        c.finish();
    }
    if constexpr (TapsV + 1 < first) {
        Chain<TapsV> c(v, wrap);
        for (int32_t j = TapsV + 1; j < first && j < n; ++j) c.step(j);
        c.finish();
    }
    hook.start(first < n ? first : n);
    if (n <= first) return;
    // On a local copy the hook's state can stay in registers; through the
    // reference it would go to memory and back around every sample stored.
    Hook local = hook;
    Pair pair(u, v, wrap);
    for (int32_t j = first; j < n && local.ready(j); ++j) {
        int32_t out_u, out_v;
        pair.step(j, out_u, out_v);
        local.next(out_u, out_v);
    }
    pair.finish();
    hook = local;
}

template <int Taps>
RZ_AVX2 void run_one(const UnpredictorInput& s, uint32_t count, uint32_t wrap) {
    Chain<Taps> c(s, wrap);
    for (int32_t j = Taps + 1; j < int32_t(count); ++j) c.step(j);
    c.finish();
}

// Decodes residuals until sample j's is in; false on a decoding error.
[[gnu::always_inline]] inline bool decode_through(golomb_reader::UsualResidualReader& reader,
                                                  int32_t j, AlacDecodeStatus& status) {
    if (reader.holds(uint32_t(j))) return true;
    status = reader.step();
    return status == AlacDecodeStatus::ok;
}

// The pair loop's hook for residuals decoded just before the rebuild needs
// them, V's and, with BothSignals, U's, so that the scalar decoding
// overlaps the vector filter; a decoding error stops the loop, and a read
// past the end shows in result() after it. (Already decoded ones need no
// hook.)
// The readers are held by value, so that a loop working on a copy of the
// hook keeps their state in registers.
template <bool BothSignals>
struct Decoding : NoHook {
    golomb_reader::UsualResidualReader u;  // unused without BothSignals
    golomb_reader::UsualResidualReader v;
    AlacDecodeStatus status = AlacDecodeStatus::ok;
    [[gnu::always_inline]] bool ready(int32_t j) {
        if constexpr (BothSignals) {
            if (!decode_through(u, j, status)) return false;
        }
        return decode_through(v, j, status);
    }
    AlacDecodeStatus result() const {
        if (status != AlacDecodeStatus::ok) return status;
        const bool overrun = v.overrun() || (BothSignals && u.overrun());
        return overrun ? AlacDecodeStatus::truncated : AlacDecodeStatus::ok;
    }
};

template <int TapsU, int TapsV, typename Source>
RZ_AVX2 void run_two(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                     uint32_t wrap, Source& source) {
    if (simd_allows(SimdLevel::avx512)) {
        run_pair_chain<TapsU, TapsV>(u, v, count, wrap, source);
        return;
    }
    Chain<TapsU> cu(u, wrap);
    Chain<TapsV> cv(v, wrap);
    run_chains<TapsU, TapsV>(cu, cv, int32_t(count), source);
}

void run_vector8(const UnpredictorInput& s, uint32_t count, uint32_t wrap) {
    run_one<8>(s, count, wrap);
}

template <typename Source>
void run_vector_pair(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                     uint32_t wrap, Source&& source) {
    with_tap_counts(int(u.order), int(v.order), [&](auto taps_u, auto taps_v) {
        run_two<taps_u(), taps_v()>(u, v, count, wrap, source);
    });
}

#else

void run_vector8(const UnpredictorInput&, uint32_t, uint32_t) {}
template <bool BothSignals>
struct Decoding : vector_lanes::NoHook {
    golomb_reader::UsualResidualReader u;
    golomb_reader::UsualResidualReader v;
    AlacDecodeStatus status = AlacDecodeStatus::ok;
    AlacDecodeStatus result() const { return status; }
};
template <typename Source>
void run_vector_pair(const UnpredictorInput&, const UnpredictorInput&, uint32_t, uint32_t,
                     Source&&) {}

#endif

}  // namespace

bool rebuild_vector(const UnpredictorInput& s, uint32_t count, uint32_t chan_bits) {
    // A lone 4-tap chain is shorter in scalar code; only pairs gain there.
    if (s.order != 8 || !simd_allows(SimdLevel::avx2) || !block_in_range(s, count, chan_bits))
        return false;
    run_vector8(s, count, 32 - chan_bits);
    return true;
}

bool vector_pair_possible(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                          uint32_t chan_bits) {
    return simd_allows(SimdLevel::avx2) && block_in_range(u, count, chan_bits) &&
           block_in_range(v, count, chan_bits);
}

bool rebuild_vector_pair(const UnpredictorInput& u, const UnpredictorInput& v, uint32_t count,
                         uint32_t chan_bits) {
    if (!vector_pair_possible(u, v, count, chan_bits)) return false;
    run_vector_pair(u, v, count, 32 - chan_bits, vector_lanes::NoHook{});
    return true;
}

AlacDecodeStatus rebuild_vector_pair_decoding(const UnpredictorInput& u, const UnpredictorInput& v,
                                              uint32_t count, uint32_t chan_bits,
                                              golomb_reader::UsualResidualReader* u_rest,
                                              golomb_reader::UsualResidualReader& v_rest) {
    if (u_rest != nullptr) {
        Decoding<true> hook{{}, *u_rest, v_rest};
        run_vector_pair(u, v, count, 32 - chan_bits, hook);
        *u_rest = hook.u;
        v_rest = hook.v;
        return hook.result();
    }
    Decoding<false> hook{{}, v_rest, v_rest};
    run_vector_pair(u, v, count, 32 - chan_bits, hook);
    v_rest = hook.v;
    return hook.result();
}

}  // namespace qv::unpredictor_kernels
