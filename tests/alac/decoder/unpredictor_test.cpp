#include "alac/decoder/unpredictor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "alac/alac_frame_builder.h"
#include "alac/decoder/unpredictor_kernels.h"
#include "alac/simd_levels.h"

namespace qv {
namespace {

// The inverse filter exactly as the formulas read, one tap at a time with
// 64-bit sums truncated to 32 bits: the reference for the unrolled paths.
void plain_unpredict(int32_t* x, uint32_t count, int16_t* a, uint32_t p, uint32_t chan_bits,
                     uint32_t den_shift) {
    using framebuild::wrap_bits;
    auto low32 = [](int64_t v) { return int32_t(uint32_t(uint64_t(v))); };
    for (uint32_t j = 1; j <= std::min(p, count - 1); ++j)
        x[j] = wrap_bits(int64_t(x[j]) + x[j - 1], chan_bits);
    for (uint32_t j = p + 1; j < count; ++j) {
        const int32_t top = x[j - p - 1];
        int64_t sum = 0;
        for (uint32_t k = 0; k < p; ++k) sum += int64_t(a[k]) * low32(int64_t(x[j - 1 - k]) - top);
        const int32_t e = x[j];
        const int32_t pred = low32(int64_t(low32(sum)) + (1 << (den_shift - 1))) >> den_shift;
        x[j] = wrap_bits(int64_t(e) + top + pred, chan_bits);
        int32_t left = e;
        for (uint32_t k = p; k-- > 0 && e != 0;) {
            const int32_t b = low32(int64_t(top) - x[j - 1 - k]);
            const int32_t s = (b > 0) - (b < 0);
            if (e > 0) {
                a[k] = int16_t(a[k] - s);
                left = low32(int64_t(left) - int64_t(p - k) * (low32(int64_t(s) * b) >> den_shift));
                if (left <= 0) break;
            } else {
                a[k] = int16_t(a[k] + s);
                left =
                    low32(int64_t(left) - int64_t(p - k) * (low32(-int64_t(s) * b) >> den_shift));
                if (left >= 0) break;
            }
        }
    }
}

class UnpredictorBlock : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(UnpredictorBlock);

TEST_P(UnpredictorBlock, UnrolledOrdersMatchThePlainFilter) {
    // Arbitrary residuals, coefficients and widths, valid streams or not.
    framebuild::Rng rng(3);
    for (int t = 0; t < 120; ++t) {
        const uint32_t order = t % 2 ? 8 : 4;
        const uint32_t chan_bits = t % 5 == 0 ? 32 : 16 + rng.next() % 15;
        const uint32_t den_shift = t % 3 == 0 ? 9 : 1 + rng.next() % 15;
        const uint32_t count = t % 7 == 0 ? 1 + rng.next() % 12 : 4096;
        const uint32_t scale = 1 + rng.next() % chan_bits;
        std::vector<int32_t> x(count);
        for (auto& v : x) v = framebuild::wrap_bits(rng.sample(scale), chan_bits);
        int16_t a[8], b[8];
        for (uint32_t k = 0; k < 8; ++k)
            a[k] = b[k] = int16_t(t % 4 == 0 ? (k % 2 ? -32768 : 32767) : rng.next());
        std::vector<int32_t> y = x;
        unpredict_block(x.data(), count, a, order, chan_bits, den_shift);
        plain_unpredict(y.data(), count, b, order, chan_bits, den_shift);
        ASSERT_EQ(x, y) << "case " << t;
        for (uint32_t k = 0; k < order; ++k) ASSERT_EQ(a[k], b[k]) << "case " << t;
    }
}

struct Filtered {
    std::vector<int32_t> x;
    std::vector<int16_t> coefs;
};

Filtered plain(std::vector<int32_t> x, std::vector<int16_t> coefs, uint32_t order,
               uint32_t chan_bits, uint32_t den_shift) {
    if (order == 0) return {x, coefs};
    if (order == 31) {
        // Order 31 stands for first differences.
        for (size_t j = 1; j < x.size(); ++j)
            x[j] = framebuild::wrap_bits(int64_t(x[j]) + x[j - 1], chan_bits);
    } else {
        plain_unpredict(x.data(), uint32_t(x.size()), coefs.data(), order, chan_bits, den_shift);
    }
    return {x, coefs};
}

// Residuals that a predictor of this order makes from a music-like signal,
// so that the filter rebuilds something realistic.
std::vector<int32_t> music_residuals(size_t n, uint32_t order, uint32_t chan_bits,
                                     uint32_t den_shift, uint64_t seed) {
    std::vector<int16_t> a(32, 0);
    a[0] = 1216, a[1] = -928, a[2] = -64;
    const uint32_t bits = std::min(chan_bits, 31u) - 1;
    return framebuild::predict(framebuild::music(n, bits, seed), a, order, chan_bits, den_shift);
}

// The inverse predictor and the pair inverse, at each instruction-set
// level (AVX-512 runs the pair in one vector, AVX2 as two chains), against
// the plain filter.
class UnpredictorPair : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(UnpredictorPair);

TEST_P(UnpredictorPair, EveryOrderCombinationMatchesThePlainFilter) {
    struct Orders {
        uint32_t u, v;
    };
    framebuild::Rng rng(11);
    int t = 0;
    for (const Orders orders : {Orders{4, 4}, Orders{4, 8}, Orders{8, 4}, Orders{8, 8},
                                Orders{8, 6}, Orders{0, 8}, Orders{31, 4}}) {
        for (const uint32_t chan_bits : {16u, 17u, 25u, 31u, 32u}) {
            for (const uint32_t den_shift : {9u, 6u, 5u, 2u}) {
                for (const uint32_t count : {4096u, 10u, 9u, 5u, 1u}) {
                    ++t;
                    // Realistic residuals on one side, noise of any width on
                    // the other, with moderate coefficients or ones at the
                    // int16 limits.
                    const std::vector<int32_t> xu =
                        music_residuals(count, orders.u, chan_bits, den_shift, t);
                    std::vector<int32_t> xv(count);
                    const uint32_t scale = 1 + rng.next() % chan_bits;
                    for (auto& x : xv) x = framebuild::wrap_bits(rng.sample(scale), chan_bits);
                    std::vector<int16_t> cu(32), cv(32);
                    for (auto& c : cu) c = int16_t(int32_t(rng.next() % 4001) - 2000);
                    for (size_t k = 0; k < cv.size(); ++k)
                        cv[k] = t % 5 == 0 ? int16_t(k % 2 ? -32768 : 32767)
                                           : int16_t(int32_t(rng.next() % 601) - 300);

                    const Filtered want_u = plain(xu, cu, orders.u, chan_bits, den_shift);
                    const Filtered want_v = plain(xv, cv, orders.v, chan_bits, den_shift);
                    Filtered got_u{xu, cu}, got_v{xv, cv};
                    unpredict_block_pair({got_u.x.data(), got_u.coefs.data(), orders.u, den_shift},
                                         {got_v.x.data(), got_v.coefs.data(), orders.v, den_shift},
                                         count, chan_bits);
                    ASSERT_EQ(got_u.x, want_u.x) << "case " << t;
                    ASSERT_EQ(got_u.coefs, want_u.coefs) << "case " << t;
                    ASSERT_EQ(got_v.x, want_v.x) << "case " << t;
                    ASSERT_EQ(got_v.coefs, want_v.coefs) << "case " << t;

                    // The single-signal path agrees too.
                    Filtered one{xu, cu};
                    unpredict_block(one.x.data(), count, one.coefs.data(), orders.u, chan_bits,
                                    den_shift);
                    ASSERT_EQ(one.x, want_u.x) << "case " << t;
                    ASSERT_EQ(one.coefs, want_u.coefs) << "case " << t;
                }
            }
        }
    }
}

TEST_P(UnpredictorPair, DifferentPredictionShiftsPerSignal) {
    const std::vector<int32_t> xu = music_residuals(4096, 8, 17, 9, 1);
    const std::vector<int32_t> xv = music_residuals(4096, 4, 17, 12, 2);
    const std::vector<int16_t> c = {1216, -928, -64, 40, -20, 10, -5, 2};
    const Filtered want_u = plain(xu, c, 8, 17, 9);
    const Filtered want_v = plain(xv, c, 4, 17, 12);
    Filtered got_u{xu, c}, got_v{xv, c};
    unpredict_block_pair({got_u.x.data(), got_u.coefs.data(), 8, 9},
                         {got_v.x.data(), got_v.coefs.data(), 4, 12}, 4096, 17);
    EXPECT_EQ(got_u.x, want_u.x);
    EXPECT_EQ(got_u.coefs, want_u.coefs);
    EXPECT_EQ(got_v.x, want_v.x);
    EXPECT_EQ(got_v.coefs, want_v.coefs);
}

// V's residuals, or U's and V's, read from a coded stream while the pair is
// rebuilt: the same signals as rebuilding from residuals decoded beforehand,
// the readers left just after their codes, and a cut stream reported.
TEST_P(UnpredictorPair, DecodingAlongTheRebuildMatchesThePlainFilter) {
    struct Orders {
        uint32_t u, v;
    };
    std::vector<int32_t> silence(4096, 0);
    for (size_t i = 50; i < silence.size(); i += 701) silence[i] = 3;
    int t = 0;
    for (const Orders orders : {Orders{4, 4}, Orders{8, 4}, Orders{4, 8}, Orders{8, 8},
                                Orders{8, 6}, Orders{0, 4}, Orders{4, 31}}) {
        for (const uint32_t count : {4096u, 9u, 5u}) {
            for (const bool quiet : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "orders " << orders.u << "/" << orders.v
                                                  << " n " << count << " quiet " << quiet);
                ++t;
                const std::vector<int32_t> xu = music_residuals(count, orders.u, 17, 9, t);
                const std::vector<int32_t> xv =
                    quiet ? std::vector<int32_t>(silence.begin(), silence.begin() + count)
                          : music_residuals(count, orders.v, 17, 9, t + 100);
                const std::vector<int16_t> c = {1216, -928, -64, 40, -20, 10, -5, 2};
                const Filtered want_u = plain(xu, c, orders.u, 17, 9);
                const Filtered want_v = plain(xv, c, orders.v, 17, 9);

                framebuild::Bits b;
                framebuild::golomb(b, xv, 17);
                const uint64_t end = b.count;
                const std::vector<uint8_t> bytes = b.finish();
                // Rebuilds the pair with V's residuals read from `coded`.
                auto rebuild = [&](const std::vector<uint8_t>& coded, Filtered& fu, Filtered& fv,
                                   size_t& end_bit) {
                    BitReader reader(coded.data(), coded.size());
                    golomb_reader::UsualResidualReader rest(reader, {}, fv.x.data(), count, 17);
                    const AlacDecodeStatus status = unpredict_block_pair_decoding(
                        {fu.x.data(), fu.coefs.data(), orders.u, 9},
                        {fv.x.data(), fv.coefs.data(), orders.v, 9}, count, 17, rest);
                    rest.store(reader);
                    end_bit = reader.bit_position();
                    return status;
                };
                Filtered got_u{xu, c}, got_v{std::vector<int32_t>(count, 12345), c};
                size_t end_bit = 0;
                ASSERT_EQ(rebuild(bytes, got_u, got_v, end_bit), AlacDecodeStatus::ok);
                EXPECT_EQ(end_bit, end);
                EXPECT_EQ(got_u.x, want_u.x);
                EXPECT_EQ(got_u.coefs, want_u.coefs);
                EXPECT_EQ(got_v.x, want_v.x);
                EXPECT_EQ(got_v.coefs, want_v.coefs);

                // The stream cut in half fails, wherever the cut falls.
                if (count == 4096) {
                    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + bytes.size() / 2);
                    Filtered again_u{xu, c}, again_v{std::vector<int32_t>(count, 0), c};
                    EXPECT_EQ(rebuild(cut, again_u, again_v, end_bit), AlacDecodeStatus::truncated);
                }

                // U's codes then V's, both read along the rebuild: taken
                // wherever the vector loop takes the pair, with the same
                // signals and each reader just after its codes.
                framebuild::Bits both;
                framebuild::golomb(both, xu, 17);
                const uint64_t u_end = both.count;
                framebuild::golomb(both, xv, 17);
                const uint64_t v_end = both.count;
                const std::vector<uint8_t> coded = both.finish();
                BitReader u_reader(coded.data(), coded.size()), v_reader = u_reader;
                v_reader.move_to(u_end);
                Filtered two_u{std::vector<int32_t>(count, 7), c}, two_v{two_u.x, c};
                golomb_reader::UsualResidualReader u_rest(u_reader, {}, two_u.x.data(), count, 17);
                golomb_reader::UsualResidualReader v_rest(v_reader, {}, two_v.x.data(), count, 17);
                const bool vector_orders = (orders.u == 4 || orders.u == 8) &&
                                           (orders.v == 4 || orders.v == 8) &&
                                           count > std::max(orders.u, orders.v) + 1;
                const bool taken = unpredict_block_pair_reading_both(
                    {two_u.x.data(), two_u.coefs.data(), orders.u, 9},
                    {two_v.x.data(), two_v.coefs.data(), orders.v, 9}, count, 17, u_rest, v_rest);
                EXPECT_EQ(taken, vector_orders && vector_unit());
                if (taken) {
                    EXPECT_EQ(u_rest.bit_position(), u_end);
                    EXPECT_EQ(v_rest.bit_position(), v_end);
                    EXPECT_EQ(two_u.x, want_u.x);
                    EXPECT_EQ(two_u.coefs, want_u.coefs);
                    EXPECT_EQ(two_v.x, want_v.x);
                    EXPECT_EQ(two_v.coefs, want_v.coefs);
                }
            }
        }
    }
}

// The vector loop must take ordinary blocks (or the tests above prove
// nothing about it) and leave alone, untouched, the ones it cannot do exactly.
class UnpredictorVectorLoop : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(UnpredictorVectorLoop);

TEST_P(UnpredictorVectorLoop, TakesOrdinaryBlocksAndDeclinesWrappingOnes) {
    struct Case {
        const char* what;
        uint32_t chan_bits, den_shift;
        int32_t first;
        int16_t coef;
        bool taken;
    };
    for (const Case c : {Case{"ordinary", 17, 9, 0, 1216, true},
                         Case{"31-bit samples", 31, 6, -(1 << 30), -28000, true},
                         Case{"32-bit samples", 32, 9, 0, 1216, false},
                         Case{"sample 0 beyond 31 bits", 32, 9, 1 << 30, 1216, false},
                         Case{"prediction shift 5", 17, 5, 0, 1216, false},
                         Case{"coefficient near the limit", 17, 9, 0, 32767 - 4000, false}}) {
        std::vector<int32_t> u = music_residuals(4096, 8, 17, 9, 3);
        std::vector<int32_t> v = music_residuals(4096, 4, 17, 9, 4);
        u[0] = c.first;
        std::vector<int16_t> cu = {c.coef, -928, -64, 40, -20, 10, -5, 2},
                             cv = {1216, -928, -64, 40};
        const std::vector<int32_t> u0 = u, v0 = v;
        const std::vector<int16_t> cu0 = cu, cv0 = cv;
        const bool taken = unpredictor_kernels::rebuild_vector_pair(
            {u.data(), cu.data(), 8, c.den_shift}, {v.data(), cv.data(), 4, c.den_shift}, 4096,
            c.chan_bits);
        EXPECT_EQ(taken, c.taken && vector_unit()) << c.what;
        if (!taken) {
            EXPECT_TRUE(u == u0 && v == v0 && cu == cu0 && cv == cv0) << c.what << ": written";
        }
    }
}

}  // namespace
}  // namespace qv
