#include "alac/common/channel_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "alac/pcm_interleave.h"

namespace qv {
namespace {

TEST(ChannelLayout, OrderIsAPermutationAndMapCoversEveryPosition) {
    for (uint32_t n = 1; n <= 8; ++n) {
        std::vector<uint8_t> order(ChannelOrderTable[n], ChannelOrderTable[n] + n);
        std::sort(order.begin(), order.end());
        for (uint32_t j = 0; j < n; ++j) EXPECT_EQ(order[j], j) << n;

        uint32_t covered = 0;
        for (uint32_t ch = 0; ch < n;) {
            const uint32_t tag = element_tag_at(n, ch);
            ASSERT_LE(tag, 1u);
            ch += tag == 1 ? 2 : 1;
            covered = ch;
        }
        EXPECT_EQ(covered, n) << "a pair would run past the last channel";
        EXPECT_EQ(ChannelLayoutTags[n] & 0xFFFF, n);
    }
    EXPECT_EQ(ChannelLayoutTags[6], 0x7C0006u);
}

// Element kinds from position 0: S single channel, P channel pair.
TEST(ChannelLayout, ElementsPerChannelCount) {
    const char* const expected[9] = {"", "S", "P", "SP", "SPS", "SPP", "SPPS", "SPPSS", "SPPPS"};
    for (uint32_t n = 1; n <= 8; ++n) {
        std::string kinds;
        for (uint32_t ch = 0; ch < n; ch += element_tag_at(n, ch) == 1 ? 2 : 1) {
            kinds += element_tag_at(n, ch) == 1 ? 'P' : 'S';
        }
        EXPECT_EQ(kinds, expected[n]) << n;
    }
}

// WAV order L, R, C, LFE, BL, BR goes out as C, L, R, BL, BR, LFE.
TEST(ChannelLayout, SixChannelsInterleaveInAlacOrder) {
    const std::vector<std::vector<int32_t>> pcm = {{0x11}, {0x22}, {0x33}, {0x44}, {0x55}, {0x66}};
    uint8_t out[12];
    interleave_packet(pcm, 16, 1, out);
    const uint8_t expected[12] = {0x33, 0, 0x11, 0, 0x22, 0, 0x55, 0, 0x66, 0, 0x44, 0};
    EXPECT_TRUE(std::equal(out, out + 12, expected));
}

// Little-endian containers; 20-bit values sit in the top 20 bits of three.
TEST(ChannelLayout, ContainerBytesPerDepth) {
    const std::vector<std::vector<int32_t>> pcm = {{0x7FFFF, -1}, {-2, 0x12345}};
    uint8_t out20[12];
    interleave_packet(pcm, 20, 2, out20);
    const uint8_t expected20[12] = {0xF0, 0xFF, 0x7F, 0xE0, 0xFF, 0xFF,
                                    0xF0, 0xFF, 0xFF, 0x50, 0x34, 0x12};
    EXPECT_TRUE(std::equal(out20, out20 + 12, expected20));

    const std::vector<std::vector<int32_t>> wide = {{-0x123456}, {0x12345678}};
    uint8_t out24[6];
    interleave_packet({{-0x123456}}, 24, 1, out24);
    EXPECT_EQ(out24[0], 0xAA);
    EXPECT_EQ(out24[1], 0xCB);
    EXPECT_EQ(out24[2], 0xED);
    uint8_t out32[8];
    interleave_packet(wide, 32, 1, out32);
    const uint8_t expected32[8] = {0xAA, 0xCB, 0xED, 0xFF, 0x78, 0x56, 0x34, 0x12};
    EXPECT_TRUE(std::equal(out32, out32 + 8, expected32));
}

}  // namespace
}  // namespace qv
