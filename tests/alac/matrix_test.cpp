#include "alac/matrix.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace qv {
namespace {

// Little-endian 24-bit containers of `values`, interleaved as given.
std::vector<uint8_t> pack24(const std::vector<int32_t>& values) {
    std::vector<uint8_t> out;
    for (int32_t v : values) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v >> 16));
    }
    return out;
}

int32_t expected_u(int32_t l, int32_t r, int32_t mix_res) {
    return mix_res == 0
               ? l
               : static_cast<int32_t>(int64_t(mix_res) * l + int64_t(4 - mix_res) * r) >> 2;
}

TEST(Matrixing, MixRes4GivesLeftAndSide) {
    const int16_t in16[6] = {100, -7, -32768, 32767, 5, 5};
    int32_t u[3], v[3];
    mix16(in16, 2, u, v, 3, 4);
    EXPECT_EQ(std::vector<int32_t>(u, u + 3), (std::vector<int32_t>{100, -32768, 5}));
    EXPECT_EQ(std::vector<int32_t>(v, v + 3), (std::vector<int32_t>{107, -65535, 0}));

    const auto in24 = pack24({0x123456, -0x10, -1, 0x7FFFFF});
    mix24(in24.data(), 2, u, v, 2, 2, 4, nullptr, 0);
    EXPECT_EQ(u[0], 0x123456);
    EXPECT_EQ(v[0], 0x123456 + 0x10);
    EXPECT_EQ(u[1], -1);
    EXPECT_EQ(v[1], -1 - 0x7FFFFF);
}

TEST(Matrixing, WeightsAndStrideAgainstTheFormula) {
    std::mt19937 rng(3);
    const uint32_t stride = 5;
    const int32_t frames = 200;
    std::vector<int16_t> in16(stride * frames);
    for (int16_t& s : in16) s = static_cast<int16_t>(rng());
    std::vector<int32_t> in32(stride * frames);
    for (int32_t& s : in32) s = static_cast<int32_t>(rng());
    std::vector<int32_t> u(frames), v(frames), u32(frames), v32(frames);
    std::vector<uint16_t> shifted(2 * frames);
    for (int32_t mix_res = 0; mix_res <= 4; ++mix_res) {
        mix16(in16.data() + 1, stride, u.data(), v.data(), frames, mix_res);
        mix32(in32.data() + 1, stride, u32.data(), v32.data(), frames, mix_res, shifted.data(), 2);
        for (int32_t i = 0; i < frames; ++i) {
            const int32_t l = in16[i * stride + 1], r = in16[i * stride + 2];
            ASSERT_EQ(u[i], expected_u(l, r, mix_res));
            ASSERT_EQ(v[i], mix_res == 0 ? r : l - r);
            const int32_t l32 = in32[i * stride + 1], r32 = in32[i * stride + 2];
            ASSERT_EQ(u32[i], expected_u(l32 >> 16, r32 >> 16, mix_res));
            ASSERT_EQ(v32[i], mix_res == 0 ? r32 >> 16 : (l32 >> 16) - (r32 >> 16));
            ASSERT_EQ(shifted[2 * i], static_cast<uint16_t>(l32));
            ASSERT_EQ(shifted[2 * i + 1], static_cast<uint16_t>(r32));
        }
    }
}

TEST(Matrixing, TwentyBitContainers) {
    const uint8_t in[12] = {0x10, 0x00, 0x00, 0xF0, 0xFF, 0xFF, 0xF0, 0xFF, 0x7F, 0x00, 0x00, 0x80};
    int32_t u[2], v[2];
    mix20(in, 2, u, v, 2, 2, 0);
    EXPECT_EQ(u[0], 1);
    EXPECT_EQ(v[0], -1);
    EXPECT_EQ(u[1], 0x7FFFF);
    EXPECT_EQ(v[1], -0x80000);
    mix20(in, 2, u, v, 2, 2, 2);
    EXPECT_EQ(u[0], 0);  // (2 * 1 + 2 * -1) >> 2
    EXPECT_EQ(v[0], 2);
    EXPECT_EQ(u[1], (2 * 0x7FFFF - 2 * 0x80000) >> 2);
    EXPECT_EQ(v[1], 0xFFFFF);
}

TEST(Matrixing, TwentyFourBitShiftOff) {
    const auto in = pack24({0x123456, -2, 0x7FFFFF, -0x800000});
    int32_t u[2], v[2];
    uint16_t shifted[4] = {};
    mix24(in.data(), 2, u, v, 2, 2, 0, shifted, 1);
    EXPECT_EQ(shifted[0], 0x56);
    EXPECT_EQ(u[0], 0x1234);
    EXPECT_EQ(shifted[1], 0xFE);
    EXPECT_EQ(v[0], -1);
    EXPECT_EQ(shifted[2], 0xFF);
    EXPECT_EQ(u[1], 0x7FFF);
    EXPECT_EQ(shifted[3], 0x00);
    EXPECT_EQ(v[1], -0x8000);
}

TEST(Matrixing, ThirtyTwoBitShiftOffAndPlainDeinterleave) {
    const int32_t in[6] = {-1, 0x12345678, 7, INT32_MIN, 0, 0};
    int32_t u[3], v[3];
    uint16_t shifted[6] = {};
    mix32(in, 2, u, v, 2, 0, shifted, 2);
    EXPECT_EQ(shifted[0], 0xFFFF);
    EXPECT_EQ(u[0], -1);
    EXPECT_EQ(shifted[1], 0x5678);
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(v[1], -0x8000);
    // Nothing shifted: the full values, and the shift buffer is untouched.
    uint16_t untouched[6] = {9, 9, 9, 9, 9, 9};
    mix32(in, 2, u, v, 3, 0, untouched, 0);
    EXPECT_EQ(u[0], -1);
    EXPECT_EQ(v[0], 0x12345678);
    EXPECT_EQ(v[1], INT32_MIN);
    EXPECT_EQ(untouched[0], 9);
}

}  // namespace
}  // namespace qv
