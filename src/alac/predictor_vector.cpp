// The 4- and 8-tap predictors with the sign-sign adaptation done as vector
// masks (see vector_lanes.h).
//
// This is exact as long as nothing wraps: samples within [-2^30, 2^30) keep
// every b_i inside int32, and the shift and coefficients stay within
// coefficients_in_range. Blocks outside those bounds are left to the
// portable loop.
#include "alac/common/simd_level.h"
#include "alac/common/vector_lanes.h"
#include "alac/predictor_kernels.h"

namespace qv::predictor_kernels {

namespace {

bool block_in_range(const PredictorInput& s, int32_t count, uint32_t den_shift) {
    const int32_t taps = s.order;
    constexpr int32_t limit = int32_t{1} << 30;
    int32_t low = 0;
    int32_t high = 0;
    for (int32_t j = 0; j < count; ++j) {
        low = s.in[j] < low ? s.in[j] : low;
        high = s.in[j] > high ? s.in[j] : high;
    }
    return low >= -limit && high < limit &&
           vector_lanes::coefficients_in_range(s.coefs, taps, count, den_shift);
}

#ifdef RZ_HAVE_X86_VECTOR

using namespace vector_lanes;

// One signal's state inside the loop.
template <int Taps>
struct Chain {
    using L = Lanes<Taps>;
    const int32_t* in;
    int32_t* residual;
    int16_t* coefs;
    Shifts k;
    Coefficients<Taps> a;

    RZ_AVX2 Chain(const PredictorInput& s, const Shifts& shifts)
        : in(s.in), residual(s.residual), coefs(s.coefs), k(shifts), a(s.coefs) {}

    RZ_AVX2 void finish() const { a.store(coefs); }

    // Sample j: prediction, residual (also returned), adaptation.
    RZ_AVX2 int32_t step(int32_t j) {
        using V = typename L::V;
        const int32_t oldest = in[j - Taps - 1];
        const V b = L::sub(L::splat(oldest), L::load(in + j - Taps));
        const V target = L::splat(static_cast<int32_t>(uint32_t(in[j]) - uint32_t(oldest)));
        const V e = wrap_lanes<Taps>(L::sub(target, a.predict(b, k)), k);
        const int32_t first = L::first(e);
        residual[j] = first;
        a.adapt(b, e, k);
        return first;
    }
};

template <int Taps>
RZ_AVX2 void run_one(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    Chain<Taps> c(s, make_shifts(shift, den_shift));
    for (int32_t j = Taps + 1; j < count; ++j) c.step(j);
    c.finish();
}

// The pair loop's hook that hands the residuals to a coder per signal, in
// order.
struct Coding : NoHook {
    const PredictorInput& su;
    const PredictorInput& sv;
    ResidualStream& u;
    ResidualStream& v;
    void start(int32_t ready) {
        for (int32_t j = 0; j < ready; ++j) u.feed(su.residual[j]);
        for (int32_t j = 0; j < ready; ++j) v.feed(sv.residual[j]);
    }
    void next(int32_t eu, int32_t ev) {
        u.feed(eu);
        v.feed(ev);
    }
};

template <int TapsU, int TapsV, typename Code>
RZ_AVX2 void run_two(const PredictorInput& u, const PredictorInput& v, int32_t count,
                     uint32_t shift, uint32_t den_shift, Code& code) {
    const Shifts k = make_shifts(shift, den_shift);
    Chain<TapsU> cu(u, k);
    Chain<TapsV> cv(v, k);
    run_chains<TapsU, TapsV>(cu, cv, count, code);
}

void run_vector8(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    run_one<8>(s, count, shift, den_shift);
}

template <typename Code>
void run_vector_pair(const PredictorInput& u, const PredictorInput& v, int32_t count,
                     uint32_t shift, uint32_t den_shift, Code&& code) {
    with_tap_counts(u.order, v.order, [&](auto taps_u, auto taps_v) {
        run_two<taps_u(), taps_v()>(u, v, count, shift, den_shift, code);
    });
}

#else

void run_vector8(const PredictorInput&, int32_t, uint32_t, uint32_t) {}
struct Coding : vector_lanes::NoHook {
    const PredictorInput& su;
    const PredictorInput& sv;
    ResidualStream& u;
    ResidualStream& v;
};
template <typename Code>
void run_vector_pair(const PredictorInput&, const PredictorInput&, int32_t, uint32_t, uint32_t,
                     Code&&) {}

#endif

bool vector_order(int32_t order) { return order == 4 || order == 8; }

}  // namespace

bool adapt_vector(const PredictorInput& s, int32_t count, uint32_t shift, uint32_t den_shift) {
    // A lone 4-tap chain is shorter in scalar code; only pairs gain there.
    if (s.order != 8 || !simd_allows(SimdLevel::avx2) || !block_in_range(s, count, den_shift))
        return false;
    run_vector8(s, count, shift, den_shift);
    return true;
}

namespace {

bool vector_pair_possible(const PredictorInput& u, const PredictorInput& v, int32_t count,
                          uint32_t den_shift) {
    return vector_order(u.order) && vector_order(v.order) && simd_allows(SimdLevel::avx2) &&
           block_in_range(u, count, den_shift) && block_in_range(v, count, den_shift);
}

}  // namespace

bool adapt_vector_pair(const PredictorInput& u, const PredictorInput& v, int32_t count,
                       uint32_t shift, uint32_t den_shift) {
    if (!vector_pair_possible(u, v, count, den_shift)) return false;
    run_vector_pair(u, v, count, shift, den_shift, vector_lanes::NoHook{});
    return true;
}

bool adapt_vector_pair_coded(const PredictorInput& u, const PredictorInput& v, int32_t count,
                             uint32_t shift, uint32_t den_shift, ResidualStream& code_u,
                             ResidualStream& code_v) {
    if (!vector_pair_possible(u, v, count, den_shift)) return false;
    run_vector_pair(u, v, count, shift, den_shift, Coding{{}, u, v, code_u, code_v});
    return true;
}

}  // namespace qv::predictor_kernels
