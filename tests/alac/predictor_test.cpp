#include "alac/predictor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "alac/predictor_kernels.h"
#include "alac/simd_levels.h"
#include "reference_coder.h"
#include "test_signals.h"

namespace qv {
namespace {

constexpr int16_t initial_set[16] = {1216, -928, -64};

std::vector<int16_t> initial_coefs() { return std::vector<int16_t>(initial_set, initial_set + 16); }

TEST(PredictorWrap, SeventeenBitDifferenceWrapsToMinus65536) {
    const int32_t in[2] = {0, 65536};
    int32_t residual[2] = {};
    predict_block(in, residual, 2, nullptr, 31, 17, 9);
    EXPECT_EQ(residual[0], 0);
    EXPECT_EQ(residual[1], -65536);
    EXPECT_EQ(ref::wrap_to_bits(65536, 17), -65536);
    EXPECT_EQ(ref::wrap_to_bits(65535, 17), 65535);
    EXPECT_EQ(ref::wrap_to_bits(-65537, 17), 65535);
    EXPECT_EQ(ref::wrap_to_bits(INT32_MIN, 32), INT32_MIN);
}

TEST(PredictorWrap, ThirtyTwoBitsDoNotWrap) {
    const int32_t in[3] = {INT32_MIN, INT32_MAX, 5};
    int32_t residual[3] = {};
    predict_block(in, residual, 3, nullptr, 31, 32, 9);
    EXPECT_EQ(residual[1], -1);  // 2^32 - 1, modulo 2^32
    EXPECT_EQ(residual[2], static_cast<int32_t>(5u - uint32_t(INT32_MAX)));
}

TEST(PredictorPaths, OrderZeroCopies) {
    std::vector<int32_t> in = {7, -3, 9, 100000};
    std::vector<int32_t> residual(4, 0);
    predict_block(in.data(), residual.data(), 4, nullptr, 0, 17, 9);
    EXPECT_EQ(residual, in);
    predict_block(in.data(), in.data(), 4, nullptr, 0, 17, 9);
    EXPECT_EQ(in, (std::vector<int32_t>{7, -3, 9, 100000}));
}

TEST(PredictorPaths, OrderThirtyOneIsTheFirstDifference) {
    const std::vector<int32_t> in = {5, 8, 2, -32768, 32767};
    std::vector<int32_t> residual(5);
    predict_block(in.data(), residual.data(), 5, nullptr, 31, 16, 9);
    EXPECT_EQ(residual, (std::vector<int32_t>{5, 3, -6, 32766, -1}));
}

TEST(PredictorPaths, ConstantSignalLeavesTheCoefficientsAlone) {
    for (int32_t order : {4, 8, 5}) {
        std::vector<int32_t> in(300, 1234), residual(300, -1);
        auto coefs = initial_coefs();
        predict_block(in.data(), residual.data(), 300, coefs.data(), order, 17, 9);
        EXPECT_EQ(residual[0], 1234);
        EXPECT_TRUE(
            std::all_of(residual.begin() + 1, residual.end(), [](int32_t r) { return r == 0; }));
        EXPECT_EQ(coefs, initial_coefs());
    }
}

TEST(PredictorPaths, ShortBlocksStillWriteTheWarmUp) {
    for (int32_t order : {4, 8, 3}) {
        for (int32_t count : {0, 1}) {
            std::vector<int32_t> in = {10, 13, 11, 20, 20, 19, 30, 31, 25, 40, 41};
            std::vector<int32_t> residual(in.size(), 999);
            auto coefs = initial_coefs();
            predict_block(in.data(), residual.data(), count, coefs.data(), order, 16, 9);
            EXPECT_EQ(residual[0], 10);
            for (int32_t j = 1; j <= order; ++j) EXPECT_EQ(residual[j], in[j] - in[j - 1]) << j;
            for (size_t j = order + 1; j < in.size(); ++j) EXPECT_EQ(residual[j], 999) << j;
            EXPECT_EQ(coefs, initial_coefs());
        }
    }
}

// One sample past the warm-up: the oldest tap starts at -32768 and the
// update must wrap it to 32767, as an int16 would.
TEST(PredictorCoefficients, WrapAtTheInt16Limit) {
    for (int32_t order : {4, 8, 6}) {
        std::vector<int32_t> in(order + 2, 0);
        in[1] = 1;
        in[order + 1] = -100;
        std::vector<int16_t> coefs(16, 0);
        coefs[order - 1] = -32768;
        std::vector<int32_t> residual(in.size());
        predict_block(in.data(), residual.data(), order + 2, coefs.data(), order, 16, 9);
        // b = top - in[1] = -1 at the oldest tap: the prediction is
        // (256 - 32768) >> 9 = -64, so the error is -100 + 64.
        EXPECT_EQ(residual[order + 1], -36);
        EXPECT_EQ(coefs[order - 1], 32767);
        // The next sample then predicts with +32767.
        in.push_back(0);
        residual.resize(in.size());
        auto fast = coefs;
        auto plain = coefs;
        std::vector<int32_t> expected(in.size());
        // Continue from j = order + 2 by running a block that starts one later.
        predict_block(in.data() + 1, residual.data() + 1, order + 2, fast.data(), order, 16, 9);
        ref::predict_block(in.data() + 1, expected.data() + 1, order + 2, plain.data(), order, 16,
                           9);
        EXPECT_EQ(residual[order + 2], expected[order + 2]);
        EXPECT_EQ(fast, plain);
    }
}

// The mirror image of a signal, a second independent input for the
// two-signal entry point.
std::vector<int32_t> negated(const std::vector<int32_t>& signal) {
    std::vector<int32_t> out(signal.size());
    for (size_t i = 0; i < signal.size(); ++i)
        out[i] = static_cast<int32_t>(0u - uint32_t(signal[i]));
    return out;
}

// One way of running the predictor over consecutive blocks, with its own
// persistent coefficients.
struct Run {
    std::vector<int16_t> coefs;
    std::vector<int32_t> residual;
};

// Runs the predictor over consecutive blocks of `signal` with persistent
// coefficients in every way the encoder can: predict_block, the portable
// loop on its own, and predict_block_pair with the negated signal as the
// second input (at the other order of 4 and 8); each must match the reference in residuals and
// coefficients. Returns the largest coefficient magnitude seen after a block.
int32_t expect_same_as_reference(const std::vector<int32_t>& signal, int32_t order,
                                 uint32_t chan_bits, int32_t block, std::vector<int16_t> coefs) {
    const std::vector<int32_t> mirror = negated(signal);
    const uint32_t shift = (32 - chan_bits) & 31;
    const int32_t order_v = order == 4 ? 8 : order == 8 ? 4 : order;
    Run plain{coefs, std::vector<int32_t>(block + 32)}, plain_mirror = plain;
    Run fast = plain, portable = plain, pair_u = plain, pair_v = plain;
    int32_t largest = 0;
    for (size_t at = 0; at + block <= signal.size(); at += block) {
        std::vector<int32_t> in(signal.begin() + at, signal.begin() + at + block);
        std::vector<int32_t> in_mirror(mirror.begin() + at, mirror.begin() + at + block);
        in.resize(block + 32, 0);
        in_mirror.resize(block + 32, 0);
        ref::predict_block(in.data(), plain.residual.data(), block, plain.coefs.data(), order,
                           chan_bits, 9);
        ref::predict_block(in_mirror.data(), plain_mirror.residual.data(), block,
                           plain_mirror.coefs.data(), order_v, chan_bits, 9);
        predict_block(in.data(), fast.residual.data(), block, fast.coefs.data(), order, chan_bits,
                      9);
        predict_block_pair({in.data(), pair_u.residual.data(), pair_u.coefs.data(), order},
                           {in_mirror.data(), pair_v.residual.data(), pair_v.coefs.data(), order_v},
                           block, chan_bits, 9);
        // The portable loop after the reference's warm-up.
        std::copy(plain.residual.begin(), plain.residual.begin() + order + 1,
                  portable.residual.begin());
        predictor_kernels::adapt_portable(
            {in.data(), portable.residual.data(), portable.coefs.data(), order}, block, shift, 9);

        const std::pair<const char*, const Run*> runs[] = {
            {"predict_block", &fast}, {"portable", &portable}, {"pair U", &pair_u}};
        bool same = true;
        for (const auto& [name, run] : runs) {
            EXPECT_EQ(run->residual, plain.residual)
                << name << " order " << order << " chan_bits " << chan_bits << " at " << at;
            EXPECT_EQ(run->coefs, plain.coefs)
                << name << " order " << order << " chan_bits " << chan_bits << " at " << at;
            same = same && run->residual == plain.residual && run->coefs == plain.coefs;
        }
        EXPECT_EQ(pair_v.residual, plain_mirror.residual)
            << "pair V order " << order << " at " << at;
        EXPECT_EQ(pair_v.coefs, plain_mirror.coefs) << "pair V order " << order << " at " << at;
        if (!same || pair_v.residual != plain_mirror.residual || pair_v.coefs != plain_mirror.coefs)
            break;
        for (int32_t k = 0; k < order; ++k)
            largest = std::max(largest, std::abs(int32_t{plain.coefs[k]}));
    }
    return largest;
}

const uint32_t chan_bits_list[] = {16, 17, 20, 21, 32};

// The predictor and the pair predictor, at each instruction-set level,
// against the plain reference.
class PredictorAgainstReference : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(PredictorAgainstReference);

TEST_P(PredictorAgainstReference, MusicLikeSignals) {
    uint32_t seed = 1;
    for (uint32_t chan_bits : chan_bits_list) {
        const auto signal = testsig::music_like(4096 * 6, std::min(chan_bits - 1, 24u), seed++);
        for (int32_t order : {4, 8}) {
            expect_same_as_reference(signal, order, chan_bits, 4096, initial_coefs());
            expect_same_as_reference(signal, order, chan_bits, 128, initial_coefs());
        }
    }
}

TEST_P(PredictorAgainstReference, FullScaleNoise) {
    uint32_t seed = 50;
    for (uint32_t chan_bits : chan_bits_list) {
        const auto in_range = testsig::full_scale_noise(4096 * 4, chan_bits, seed++);
        const auto raw = testsig::full_scale_noise(4096 * 4, 32, seed++);
        for (int32_t order : {4, 8}) {
            expect_same_as_reference(in_range, order, chan_bits, 4096, initial_coefs());
            expect_same_as_reference(raw, order, chan_bits, 4096, initial_coefs());
        }
    }
}

TEST_P(PredictorAgainstReference, CoefficientsAtTheInt16Limits) {
    std::mt19937 rng(7);
    uint32_t seed = 90;
    for (uint32_t chan_bits : chan_bits_list) {
        for (int32_t order : {4, 8}) {
            for (int pattern = 0; pattern < 4; ++pattern) {
                std::vector<int16_t> coefs(16, 0);
                for (int k = 0; k < order; ++k) {
                    const int16_t limits[4] = {32767, -32768, 32766, -32767};
                    coefs[k] =
                        pattern == 3 ? static_cast<int16_t>(rng()) : limits[(k + pattern) % 4];
                }
                const auto signal = (pattern % 2 == 0)
                                        ? testsig::music_like(4096 * 3, chan_bits - 1, seed)
                                        : testsig::full_scale_noise(4096 * 3, chan_bits, seed);
                ++seed;
                expect_same_as_reference(signal, order, chan_bits, 4096, coefs);
            }
        }
    }
}

// Short periodic patterns leave directions in which the coefficients do not
// change the prediction; the sign-sign rule then walks them to the int16
// limits and over, within a few dozen packets.
TEST_P(PredictorAgainstReference, PeriodicSignalsDriveTheCoefficientsOverTheLimit) {
    const std::vector<std::vector<int32_t>> patterns = {
        {-53, 16, -81, 57, -68}, {-99, -29, 92, 28, 81, 89}, {-1604, 2207, -1442, 260, 1147}};
    int32_t largest = 0;
    for (uint32_t chan_bits : {17u, 21u}) {
        for (int32_t order : {4, 8}) {
            for (const auto& pattern : patterns) {
                std::vector<int32_t> signal(4096 * 48);
                for (size_t i = 0; i < signal.size(); ++i) signal[i] = pattern[i % pattern.size()];
                largest = std::max(largest, expect_same_as_reference(signal, order, chan_bits, 4096,
                                                                     initial_coefs()));
            }
        }
    }
    EXPECT_GE(largest, 32760);
}

// A steep sawtooth whose wrap-around the predictor cannot follow.
TEST_P(PredictorAgainstReference, WrappingSawtooth) {
    for (uint32_t chan_bits : chan_bits_list) {
        for (int32_t order : {4, 8}) {
            std::vector<int32_t> saw(4096 * 12);
            const int32_t step = int32_t(1) << (chan_bits - 5);
            int32_t x = 0;
            for (size_t i = 0; i < saw.size(); ++i) {
                x = ref::wrap_to_bits(static_cast<int32_t>(uint32_t(x) + uint32_t(step) + (i % 3)),
                                      chan_bits);
                saw[i] = (i / 5000) % 2 ? static_cast<int32_t>(0u - uint32_t(x)) : x;
            }
            expect_same_as_reference(saw, order, chan_bits, 4096, initial_coefs());
        }
    }
}

TEST_P(PredictorAgainstReference, GeneralOrders) {
    uint32_t seed = 300;
    for (int32_t order = 1; order <= 16; ++order) {
        if (order == 4 || order == 8) continue;
        const uint32_t chan_bits = chan_bits_list[order % 5];
        const auto music = testsig::music_like(4096 * 2, chan_bits - 1, seed++);
        const auto noise = testsig::full_scale_noise(4096, chan_bits, seed++);
        expect_same_as_reference(music, order, chan_bits, 4096, initial_coefs());
        expect_same_as_reference(noise, order, chan_bits, 1024, initial_coefs());
    }
    std::vector<int32_t> in = testsig::music_like(600, 16, 9);
    for (int32_t order : {0, 31}) {
        std::vector<int32_t> fast(600), plain(600);
        predict_block(in.data(), fast.data(), 600, nullptr, order, 16, 9);
        ref::predict_block(in.data(), plain.data(), 600, nullptr, order, 16, 9);
        EXPECT_EQ(fast, plain);
    }
}

TEST_P(PredictorAgainstReference, ShortBlocks) {
    const auto signal = testsig::music_like(4096, 16, 11);
    for (int32_t order : {4, 8, 2}) {
        for (int32_t block : {2, 5, 9, 10, 31, 32, 128}) {
            expect_same_as_reference(signal, order, 17, block, initial_coefs());
        }
    }
}

// The vector loop takes ordinary blocks and leaves alone, untouched, those
// whose samples or coefficients could wrap.
class PredictorVectorLoop : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(PredictorVectorLoop);

TEST_P(PredictorVectorLoop, TakesOrdinaryBlocksAndDeclinesWrappingOnes) {
    auto music = testsig::music_like(4096, 20, 21);
    std::vector<int32_t> residual(4096, 7);
    auto coefs = initial_coefs();
    EXPECT_EQ(predictor_kernels::adapt_vector({music.data(), residual.data(), coefs.data(), 8},
                                              4096, 11, 9),
              vector_unit());
    const PredictorInput s4{music.data(), residual.data(), coefs.data(), 4};
    const PredictorInput s8{music.data(), residual.data(), coefs.data(), 8};
    EXPECT_FALSE(predictor_kernels::adapt_vector(s4, 4096, 11, 9));
    EXPECT_EQ(predictor_kernels::adapt_vector_pair(s4, s8, 4096, 11, 9), vector_unit());

    const std::vector<int32_t> untouched(4096, 7);
    auto declined = [&](const std::vector<int32_t>& in, std::vector<int16_t> start) {
        std::vector<int32_t> out(4096, 7);
        const auto before = start;
        const bool taken =
            predictor_kernels::adapt_vector({in.data(), out.data(), start.data(), 8}, 4096, 0, 9);
        return !taken && out == untouched && start == before;
    };
    auto loud = music;
    loud[4000] = int32_t{1} << 30;
    EXPECT_TRUE(declined(loud, initial_coefs()));
    loud[4000] = -(int32_t{1} << 30) - 1;
    EXPECT_TRUE(declined(loud, initial_coefs()));
    auto near_limit = initial_coefs();
    near_limit[5] = 32767 - 4000;
    EXPECT_TRUE(declined(music, near_limit));
    near_limit[5] = -32767 + 4000;
    EXPECT_TRUE(declined(music, near_limit));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

struct CodedPair {
    std::vector<int32_t> residual_u, residual_v;
    std::vector<int16_t> coefs_u, coefs_v;
    std::vector<uint8_t> bits_u, bits_v;  // whole bytes, the last one padded with zeros
    uint32_t count_u = 0, count_v = 0;
};

CodedPair fresh_pair(uint32_t n) {
    CodedPair r;
    r.residual_u.assign(n + 32, 0);
    r.residual_v.assign(n + 32, 0);
    r.coefs_u = initial_coefs();
    r.coefs_v = initial_coefs();
    return r;
}

std::vector<uint8_t> leading_bits(const uint8_t* p, uint32_t bits) {
    std::vector<uint8_t> out(p, p + (bits + 7) / 8);
    if (bits % 8 != 0) out.back() &= static_cast<uint8_t>(0xFF00 >> (bits % 8));
    return out;
}

// Predicting the pair, then coding U and V, one after the other.
// The first `n` samples of u and v; the signals hold at least 9, since the
// warm-up reads samples 0 .. order even of a shorter block.
CodedPair two_passes(const std::vector<int32_t>& u, const std::vector<int32_t>& v, uint32_t n,
                     int32_t order_u, int32_t order_v, uint32_t chan_bits) {
    CodedPair r = fresh_pair(n);
    predict_block_pair({u.data(), r.residual_u.data(), r.coefs_u.data(), order_u},
                       {v.data(), r.residual_v.data(), r.coefs_v.data(), order_v}, int32_t(n),
                       chan_bits, 9);
    for (int s = 0; s < 2; ++s) {
        std::vector<uint8_t> out(n * 6 + 16);
        BitWriter w;
        bit_writer_init(w, out.data(), uint32_t(out.size() - 8));
        GolombParams p;
        set_golomb_params(p);
        uint32_t bits = 0;
        golomb_encode(p, (s == 0 ? r.residual_u : r.residual_v).data(), w, n, chan_bits, bits);
        (s == 0 ? r.bits_u : r.bits_v) = leading_bits(out.data(), bits);
        (s == 0 ? r.count_u : r.count_v) = bits;
    }
    return r;
}

// The same in one pass; false when the pass declines the pair.
bool one_pass(const std::vector<int32_t>& u, const std::vector<int32_t>& v, uint32_t n,
              int32_t order_u, int32_t order_v, uint32_t chan_bits, CodedPair& r) {
    using namespace golomb_coder;
    r = fresh_pair(n);
    std::vector<uint8_t> out_u(n * 6 + 16, 0x5A), out_v(n * 6 + 16, 0x5A);
    CodeSink sink_u(out_u.data(), 0), sink_v(out_v.data(), 0);
    GolombParams p;
    set_golomb_params(p);
    ResidualStream code_u(sink_u, n, p, chan_bits), code_v(sink_v, n, p, chan_bits);
    if (!predict_and_code_pair_timed({u.data(), r.residual_u.data(), r.coefs_u.data(), order_u},
                                     {v.data(), r.residual_v.data(), r.coefs_v.data(), order_v},
                                     int32_t(n), chan_bits, 9, code_u, code_v)) {
        EXPECT_TRUE(sink_u.cur == out_u.data() && sink_v.cur == out_v.data() && sink_u.used == 0 &&
                    sink_v.used == 0)
            << "declined, but coded";
        return false;
    }
    code_u.finish();
    code_v.finish();
    r.count_u = uint32_t(sink_u.cur - out_u.data()) * 8 + sink_u.used;
    r.count_v = uint32_t(sink_v.cur - out_v.data()) * 8 + sink_v.used;
    r.bits_u = leading_bits(out_u.data(), r.count_u);
    r.bits_v = leading_bits(out_v.data(), r.count_v);
    return true;
}

// The fused final pass: predicting and coding a pair at once.
class PredictorCodedPair : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(PredictorCodedPair);

TEST_P(PredictorCodedPair, OnePassGivesTheBitsOfTwo) {
    const bool vector_unit = this->vector_unit();
    // Music, silence with clicks (zero runs), noise wide enough to escape,
    // and blocks shorter than the orders. (The vector loop takes blocks
    // short enough for the coefficients to stay in int16, so the 65535 cap
    // of a run is left to the coder's own tests.)
    std::vector<int32_t> clicks(30000, 0);
    for (size_t i = 100; i < clicks.size(); i += 997) clicks[i] = int32_t(i % 5) - 2;
    struct Case {
        std::vector<int32_t> u, v;
        uint32_t n, chan_bits;
    };
    const Case cases[] = {
        {testsig::music_like(4096, 16, 1), testsig::music_like(4096, 16, 2), 4096, 17},
        {testsig::music_like(4096, 24, 3), testsig::full_scale_noise(4096, 24, 4), 4096, 25},
        {clicks, testsig::music_like(clicks.size(), 16, 5), uint32_t(clicks.size()), 17},
        {std::vector<int32_t>(4096, 0), testsig::full_scale_noise(4096, 17, 6), 4096, 17},
        {testsig::music_like(9, 16, 7), testsig::music_like(9, 16, 8), 7, 17},
    };
    for (const Case& c : cases) {
        for (const auto& [ou, ov] : {std::pair{4, 4}, {4, 8}, {8, 4}, {8, 8}}) {
            SCOPED_TRACE(testing::Message() << "n " << c.n << " orders " << ou << "/" << ov);
            const CodedPair want = two_passes(c.u, c.v, c.n, ou, ov, c.chan_bits);
            CodedPair got;
            ASSERT_EQ(one_pass(c.u, c.v, c.n, ou, ov, c.chan_bits, got), vector_unit);
            if (!vector_unit) continue;
            EXPECT_EQ(got.residual_u, want.residual_u);
            EXPECT_EQ(got.residual_v, want.residual_v);
            EXPECT_EQ(got.coefs_u, want.coefs_u);
            EXPECT_EQ(got.coefs_v, want.coefs_v);
            EXPECT_EQ(got.count_u, want.count_u);
            EXPECT_EQ(got.count_v, want.count_v);
            EXPECT_EQ(got.bits_u, want.bits_u);
            EXPECT_EQ(got.bits_v, want.bits_v);
        }
    }
    // Orders without adaptation and samples out of the vector range are
    // declined with nothing coded.
    CodedPair unused;
    const auto music = testsig::music_like(4096, 16, 9);
    EXPECT_FALSE(one_pass(music, music, 4096, 31, 8, 17, unused));
    EXPECT_FALSE(one_pass(music, music, 4096, 8, 0, 17, unused));
    EXPECT_FALSE(one_pass(testsig::full_scale_noise(4096, 32, 1), music, 4096, 8, 8, 32, unused));
}

}  // namespace
}  // namespace qv
