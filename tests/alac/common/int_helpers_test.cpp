#include <gtest/gtest.h>

#include <cstdint>

#include "alac/common/simd_level.h"
#include "common/byte_order.h"
#include "common/int_width.h"

namespace qv {
namespace {

TEST(ByteOrder, LoadsAndStoresBothWays) {
    const uint8_t bytes[8] = {0x81, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    EXPECT_EQ(load_be32(bytes), 0x81020304u);
    EXPECT_EQ(load_be64(bytes), 0x8102030405060788ull);
    EXPECT_EQ(load_le16(bytes), 0x0281u);
    EXPECT_EQ(load_le32(bytes), 0x04030281u);
    EXPECT_EQ(load_s24_le(bytes), int32_t(0x030281));
    EXPECT_EQ(load_s24_le(bytes + 5), int32_t(0xFF880706u));  // sign from the top byte
    uint8_t out[8] = {};
    store_be32(out, 0xA1B2C3D4u);
    EXPECT_EQ(load_be32(out), 0xA1B2C3D4u);
    store_be64(out, 0x0102030405060708ull);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[7], 0x08);
}

TEST(IntWidth, SignExtensionAndFit) {
    EXPECT_EQ(sign_extend(0x8000, 16), -32768);
    EXPECT_EQ(sign_extend(0x7FFF, 16), 32767);
    EXPECT_EQ(sign_extend(0x1FFFF, 17), -1);
    EXPECT_EQ(sign_extend(0x80000000u, 32), INT32_MIN);
    EXPECT_EQ(keep_low_bits(0x10000, 15), -65536);  // 17 bits kept
    EXPECT_TRUE(fits_bits(-65536, 17));
    EXPECT_FALSE(fits_bits(65536, 17));
    EXPECT_TRUE(fits_bits(INT32_MIN, 32));
    EXPECT_FALSE(fits_bits(-2, 1));
}

TEST(SimdLevel, CapNeverRaisesAboveTheHost) {
    const SimdLevel host = host_simd_level();
    set_max_simd_level(SimdLevel::portable);
    EXPECT_EQ(active_simd_level(), SimdLevel::portable);
    EXPECT_FALSE(simd_allows(SimdLevel::avx2));
    set_max_simd_level(SimdLevel::avx512);
    EXPECT_EQ(active_simd_level(), host);
    EXPECT_STREQ(simd_level_name(SimdLevel::avx512), "AVX-512");
}

}  // namespace
}  // namespace qv
