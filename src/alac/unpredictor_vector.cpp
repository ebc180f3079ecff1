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
template <bool BothSignals>
struct Decoding : NoHook {
    golomb_reader::UsualResidualReader* u;
    golomb_reader::UsualResidualReader& v;
    AlacDecodeStatus& status;
    bool ready(int32_t j) {
        if constexpr (BothSignals) {
            if (!decode_through(*u, j, status)) return false;
        }
        return decode_through(v, j, status);
    }
};

template <int TapsU, int TapsV, typename Source>
RZ_AVX2 void run_two(const Signal& u, const Signal& v, uint32_t count, uint32_t wrap,
                     Source& source) {
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
    golomb_reader::UsualResidualReader* u;
    golomb_reader::UsualResidualReader& v;
    AlacDecodeStatus& status;
};
template <typename Source>
void run_vector_pair(const Signal&, const Signal&, uint32_t, uint32_t, Source&&) {}

#endif

}  // namespace

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
    AlacDecodeStatus status = AlacDecodeStatus::ok;
    if (u_rest != nullptr)
        run_vector_pair(u, v, count, 32 - chan_bits, Decoding<true>{{}, u_rest, v_rest, status});
    else
        run_vector_pair(u, v, count, 32 - chan_bits, Decoding<false>{{}, nullptr, v_rest, status});
    return status;
}

}  // namespace qv::unpredictor_kernels
