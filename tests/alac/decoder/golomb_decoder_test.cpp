#include "alac/decoder/golomb_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "alac/alac_frame_builder.h"

namespace qv {
namespace {

// Two channels coded one after the other by the frame builder's plain
// coder, then decoded: every value and both end positions must match.
void expect_round_trip(const std::vector<int32_t>& first, const std::vector<int32_t>& second,
                       uint32_t sample_bits, const GolombParams& p) {
    framebuild::Bits b;
    framebuild::golomb(b, first, sample_bits, p.mb0, p.pb, p.kb);
    const uint64_t first_end = b.count;
    framebuild::golomb(b, second, sample_bits, p.mb0, p.pb, p.kb);
    const uint64_t second_end = b.count;
    const std::vector<uint8_t> bytes = b.finish();

    BitReader reader(bytes.data(), bytes.size());
    std::vector<int32_t> got_first(first.size()), got_second(second.size());
    ASSERT_EQ(golomb_decode(reader, p, got_first.data(), uint32_t(first.size()), sample_bits),
              AlacDecodeStatus::ok);
    EXPECT_EQ(reader.bit_position(), first_end);
    ASSERT_EQ(golomb_decode(reader, p, got_second.data(), uint32_t(second.size()), sample_bits),
              AlacDecodeStatus::ok);
    EXPECT_EQ(reader.bit_position(), second_end);
    EXPECT_EQ(got_first, first);
    EXPECT_EQ(got_second, second);
}

std::vector<int32_t> differences(const std::vector<int32_t>& x) {
    std::vector<int32_t> d(x.size());
    for (size_t i = 0; i < x.size(); ++i) d[i] = i == 0 ? x[0] : x[i] - x[i - 1];
    return d;
}

TEST(GolombDecoder, EveryParameterSetRoundTrips) {
    // The cookie's usual constants, then rates and limits that take the
    // general loop, Rice parameters clamped low, and means that start high.
    const GolombParams sets[] = {{10, 40, 14},  {10, 40, 3},    {10, 40, 1}, {10, 13, 14},
                                 {10, 255, 31}, {4000, 40, 14}, {0, 1, 5}};
    for (const GolombParams& p : sets) {
        for (const uint32_t bits : {16u, 17u, 24u, 32u}) {
            SCOPED_TRACE(::testing::Message() << "mb0 " << p.mb0 << " pb " << p.pb << " kb " << p.kb
                                              << " sample_bits " << bits);
            // Music-like residuals, full-scale noise (escapes, means held
            // high), and values just under the clamp that drive k up to kb.
            const std::vector<int32_t> music = differences(framebuild::music(4096, bits - 1, bits));
            const std::vector<int32_t> noise = framebuild::noise(3000, bits, bits);
            std::vector<int32_t> near_clamp(2000);
            for (size_t i = 0; i < near_clamp.size(); ++i)
                near_clamp[i] = (i % 2 ? -1 : 1) * int32_t(30000 + i);
            if (bits >= 17) expect_round_trip(music, near_clamp, bits, p);
            expect_round_trip(noise, music, bits, p);
        }
    }
}

TEST(GolombDecoder, ZeroRunsOfEveryLength) {
    // Silence between clicks: runs shorter and longer than the 65535 cap,
    // one that ends the block, and single zeros.
    std::vector<int32_t> x;
    for (const uint32_t run : {1u, 2u, 17u, 300u, 65534u, 65535u, 65536u, 140000u}) {
        x.push_back(900);
        x.insert(x.end(), run, 0);
    }
    std::vector<int32_t> tail = {5, 0, -3, 0, 0, 0, 0};
    tail.insert(tail.end(), 5000, 0);
    for (const GolombParams& p : {GolombParams{10, 40, 14}, GolombParams{10, 20, 4}}) {
        SCOPED_TRACE(::testing::Message() << "pb " << p.pb << " kb " << p.kb);
        expect_round_trip(x, tail, 16, p);
    }
}

TEST(GolombDecoder, RunPastTheBlockAndTruncationAreErrors) {
    framebuild::Bits b;
    std::vector<int32_t> x(50, 0);
    framebuild::golomb(b, x, 16);
    const std::vector<uint8_t> bytes = b.finish();
    std::vector<int32_t> out(50);
    {
        // Decoding fewer values than were coded: the run overfills them.
        BitReader reader(bytes.data(), bytes.size());
        EXPECT_EQ(golomb_decode(reader, {}, out.data(), 20, 16),
                  AlacDecodeStatus::zero_run_overflow);
    }
    {
        const std::vector<int32_t> noise = framebuild::noise(500, 16, 4);
        framebuild::Bits n;
        framebuild::golomb(n, noise, 16);
        std::vector<uint8_t> cut = n.finish();
        cut.resize(cut.size() / 2);
        std::vector<int32_t> got(500);
        BitReader reader(cut.data(), cut.size());
        EXPECT_EQ(golomb_decode(reader, {}, got.data(), 500, 16), AlacDecodeStatus::truncated);
    }
}

}  // namespace
}  // namespace qv
