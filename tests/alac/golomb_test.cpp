#include "alac/golomb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "alac/predictor.h"
#include "reference_coder.h"
#include "test_signals.h"

namespace qv {
namespace {

std::string bit_string(const std::vector<uint8_t>& bytes, uint32_t first, uint32_t count) {
    std::string s;
    for (uint32_t i = first; i < first + count; ++i)
        s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return s;
}

std::string binary(uint32_t value, uint32_t width) {
    std::string s;
    for (uint32_t i = width; i > 0; --i) s += ((value >> (i - 1)) & 1) ? '1' : '0';
    return s;
}

// Residual whose mapped value is n.
int32_t with_mapped(uint32_t n) { return n % 2 == 0 ? int32_t(n / 2) : -int32_t((n + 1) / 2); }

struct Coded {
    int32_t status;
    uint32_t bits_written;
    std::string bits;
};

Coded code(const std::vector<int32_t>& residuals, uint32_t sample_bits = 16) {
    std::vector<uint8_t> buffer(residuals.size() * 6 + 16, 0xFF);
    BitWriter writer;
    bit_writer_init(writer, buffer.data(), static_cast<uint32_t>(buffer.size() - 8));
    GolombParams params;
    set_golomb_params(params);
    Coded out{};
    out.status =
        golomb_encode(params, residuals.data(), writer, static_cast<uint32_t>(residuals.size()),
                      sample_bits, out.bits_written);
    EXPECT_EQ(bit_position(writer), out.bits_written);
    out.bits = bit_string(buffer, 0, out.bits_written);
    return out;
}

const std::string nine_ones = "111111111";

TEST(GolombCodewords, FirstResidualAtMeanTen) {
    for (uint32_t v = 0; v <= 8; ++v) {
        EXPECT_EQ(code({with_mapped(v)}).bits, std::string(v, '1') + "0") << v;
    }
    for (uint32_t v : {9u, 10u, 1000u, 65535u}) {
        EXPECT_EQ(code({with_mapped(v)}, 17).bits, nine_ones + binary(v, 17)) << v;
    }
}

TEST(GolombCodewords, ParametersAreTheFormatConstants) {
    GolombParams params{};
    set_golomb_params(params);
    EXPECT_EQ(params.mb0, 10u);
    EXPECT_EQ(params.pb, 40u);
    EXPECT_EQ(params.kb, 14u);
    EXPECT_EQ(params.wb, 16383u);
}

TEST(GolombCodewords, RunCountFollowsSmallFirstValues) {
    // Mapped 0, 1, 2 leave mb at 10, 50, 90: a run count of 0 follows at
    // once (k = 4, 3, 2), and the next residual (mapped 6) is coded as 5 with
    // mb = 0, that is k = 1.
    EXPECT_EQ(code({0, 3}).bits,
              "0"
              "0000"
              "111110");
    EXPECT_EQ(code({-1, 3}).bits,
              "10"
              "000"
              "111110");
    EXPECT_EQ(code({1, 3}).bits,
              "110"
              "00"
              "111110");
    // From mapped 3 on, mb is 130 and no run count is written.
    EXPECT_EQ(code({-2, 3}).bits,
              "1110"
              "1111110");
}

TEST(GolombCodewords, SilentBlockCodesToTwentySixBits) {
    const Coded c = code(std::vector<int32_t>(4096, 0));
    EXPECT_EQ(c.bits_written, 26u);
    EXPECT_EQ(c.bits, "0" + nine_ones + binary(4095, 16));
}

TEST(GolombCodewords, ZeroRunIsCappedAt65535) {
    // The first zero, a capped run of 65535 (escaped: 25 ones), then the zero
    // after the cut coded as an ordinary 0 (not n - 1), then the remaining
    // 4463 zeros as a run with mb = 0 (k = 8, M = 255, escaped).
    const Coded c = code(std::vector<int32_t>(70000, 0));
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.bits, "0" + std::string(25, '1') + "0" + nine_ones + binary(4463, 16));
}

TEST(GolombCodewords, RunEndingAtTheBlockEndStillWritesItsCount) {
    const Coded c = code({5, 0, 0});
    // Mapped 10 escapes; mb = 410 >= 128, so the first zero is coded alone
    // (k = 1), leaving mb = 410 - 32 = 378; the second likewise.
    EXPECT_EQ(c.bits, nine_ones + binary(10, 16) + "0" + "0");
    // 0 then two zeros: a run of 2 with k = 4 (a 0, then r + 1 = 3 in 4 bits).
    EXPECT_EQ(code({0, 0, 0}).bits,
              "0"
              "0"
              "0011");
}

TEST(GolombCodewords, MeanClampsOnTheMappedValue) {
    // After a run of 0, mapped 0x10000 is coded as 0xFFFF; the mean must be
    // clamped because the mapped value exceeds 0xFFFF, so the next residual
    // sees mb = 0xFFFF (k = 7), not 40 * 0xFFFF (k = 12).
    const Coded c = code({0, 32768, 0}, 17);
    EXPECT_EQ(c.bits,
              "0"
              "0000" +
                  nine_ones + binary(0xFFFF, 17) + "0000000");
}

TEST(GolombCodewords, LargeValueClampsTheMean) {
    const Coded c = code({40000, 0}, 17);
    EXPECT_EQ(c.bits, nine_ones + binary(80000, 17) + "0000000");
}

TEST(GolombCodewords, EscapeWidthsUpTo32Bits) {
    // INT32_MIN maps to 0xFFFFFFFF; 32-bit escapes are 41 bits long.
    EXPECT_EQ(code({INT32_MIN}, 32).bits, nine_ones + std::string(32, '1'));
    EXPECT_EQ(code({-1000000}, 32).bits, nine_ones + binary(1999999, 32));
    EXPECT_EQ(code({-1000000}, 21).bits, nine_ones + binary(1999999, 21));
    // A value wider than sample_bits keeps its low bits.
    EXPECT_EQ(code({100}, 4).bits, nine_ones + binary(200 & 15, 4));
}

TEST(GolombCodewords, SampleBitsOutsideOneTo32IsAnError) {
    for (uint32_t sample_bits : {0u, 33u}) {
        std::vector<uint8_t> buffer(16, 0x5A);
        BitWriter writer;
        bit_writer_init(writer, buffer.data(), 8);
        write_bits(writer, 0, 3);
        const BitWriter before = writer;
        GolombParams params;
        set_golomb_params(params);
        const int32_t residuals[2] = {1, 2};
        uint32_t bits = 77;
        EXPECT_EQ(golomb_encode(params, residuals, writer, 2, sample_bits, bits), -50);
        EXPECT_EQ(bits, 0u);
        EXPECT_EQ(writer.cur, before.cur);
        EXPECT_EQ(writer.bit_index, before.bit_index);
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 1, buffer.end()),
                  std::vector<uint8_t>(15, 0x5A));
        bits = 77;
        EXPECT_EQ(golomb_measure(residuals, 2, sample_bits, bits), -50);
        EXPECT_EQ(bits, 0u);
    }
}

TEST(GolombCodewords, EmptyBlockWritesNothing) {
    const Coded c = code({});
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.bits_written, 0u);
}

// Encodes with the fast coder and with the reference into two copies of the
// same dirty buffer, starting at `offset` bits, and compares everything.
void expect_same_as_reference(const std::vector<int32_t>& residuals, uint32_t sample_bits,
                              uint32_t offset, uint32_t seed) {
    const uint32_t count = static_cast<uint32_t>(residuals.size());
    std::vector<uint8_t> fast(residuals.size() * 6 + 16);
    std::mt19937 rng(seed);
    for (uint8_t& b : fast) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> plain = fast;

    BitWriter wf, wp;
    bit_writer_init(wf, fast.data(), static_cast<uint32_t>(fast.size() - 8));
    bit_writer_init(wp, plain.data(), static_cast<uint32_t>(plain.size() - 8));
    write_bits(wf, 0x55, offset);
    write_bits(wp, 0x55, offset);
    GolombParams pf, pp;
    set_golomb_params(pf);
    pp = pf;
    const uint32_t coded = count;
    uint32_t bits_fast = 0, bits_plain = 0;
    const int32_t sf = golomb_encode(pf, residuals.data(), wf, coded, sample_bits, bits_fast);
    const int32_t sp = ref::golomb_encode(pp, residuals.data(), wp, coded, sample_bits, bits_plain);
    ASSERT_EQ(sf, sp);
    ASSERT_EQ(bits_fast, bits_plain);
    ASSERT_EQ(bit_position(wf), bit_position(wp));
    // Measuring without writing gives the same size and status.
    uint32_t measured = 1;
    ASSERT_EQ(golomb_measure(residuals.data(), count, sample_bits, measured), sp);
    ASSERT_EQ(measured, bits_plain);
    // Every bit up to the end agrees; past it the coder may leave anything
    // within its 4 bytes of slack, and nothing beyond them changes.
    const uint32_t end = bit_position(wf);
    ASSERT_TRUE(std::equal(fast.begin(), fast.begin() + end / 8, plain.begin()))
        << "sample_bits " << sample_bits << " offset " << offset;
    const uint32_t tail_bits = end % 8;
    if (tail_bits != 0) {
        const uint8_t mask = static_cast<uint8_t>(0xFF00 >> tail_bits);
        ASSERT_EQ(fast[end / 8] & mask, plain[end / 8] & mask);
    }
    ASSERT_TRUE(std::equal(fast.begin() + end / 8 + 4, fast.end(), plain.begin() + end / 8 + 4));
}

TEST(GolombAgainstReference, RandomResidualsAtEveryOffset) {
    uint32_t seed = 1;
    for (uint32_t scale : {0u, 1u, 3u, 20u, 300u, 5000u, 70000u, 3000000u}) {
        for (uint32_t sample_bits : {16u, 17u, 20u, 21u, 32u, 1u, 9u, 25u}) {
            const auto residuals = testsig::residual_like(3000, scale, seed);
            expect_same_as_reference(residuals, sample_bits, seed % 8, seed);
            ++seed;
        }
    }
}

TEST(GolombAgainstReference, FullScaleNoiseAndSilence) {
    uint32_t seed = 100;
    for (uint32_t bits : {16u, 17u, 20u, 21u, 32u}) {
        for (uint32_t offset = 0; offset < 8; ++offset) {
            expect_same_as_reference(testsig::full_scale_noise(4096, bits, seed), bits, offset,
                                     seed);
            ++seed;
        }
    }
    expect_same_as_reference(std::vector<int32_t>(200000, 0), 16, 5, 7);
    std::vector<int32_t> bursts(150000, 0);
    for (size_t i = 70000; i < bursts.size(); i += 9000)
        bursts[i] = static_cast<int32_t>(i % 7) - 3;
    expect_same_as_reference(bursts, 17, 2, 8);
}

TEST(GolombAgainstReference, PredictorResidualsOfMusic) {
    uint32_t seed = 200;
    for (uint32_t chan_bits : {16u, 17u, 20u, 21u}) {
        const auto signal = testsig::music_like(4096, chan_bits - 1, seed);
        std::vector<int32_t> residual(4096);
        PredictorCoefs coefs{};
        int16_t* set = coefs.sets[0][7];
        set[0] = 1216, set[1] = -928, set[2] = -64;
        predict_block(signal.data(), residual.data(), 4096, set, 8, chan_bits, 9);
        expect_same_as_reference(residual, chan_bits, seed % 8, seed);
        expect_same_as_reference(signal, chan_bits, (seed + 3) % 8, seed);
        ++seed;
    }
}

}  // namespace
}  // namespace qv
