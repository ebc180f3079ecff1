#include "alac/common/magic_cookie.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alac/common/channel_layout.h"

namespace qv {
namespace {

// What the writer puts down the reader gets back, with the 'chan' box and
// its layout tag from three channels on.
TEST(MagicCookie, WriterAndReaderAgreeForEveryChannelCount) {
    for (uint32_t channels = 1; channels <= 8; ++channels) {
        MagicCookie written;
        written.frame_length = 4096;
        written.bit_depth = channels % 2 ? 24 : 16;
        written.channels = channels;
        written.max_frame_bytes = 0x01020304u * channels;
        written.sample_rate = 96000;
        const std::vector<uint8_t> bytes = write_magic_cookie(written);
        ASSERT_EQ(bytes.size(), channels >= 3 ? 48u : 24u) << channels;

        MagicCookie read;
        std::string error;
        ASSERT_TRUE(read_magic_cookie(bytes.data(), bytes.size(), read, error)) << error;
        EXPECT_EQ(read.frame_length, 4096u);
        EXPECT_EQ(read.bit_depth, written.bit_depth);
        EXPECT_EQ(read.pb, 40u);
        EXPECT_EQ(read.mb, 10u);
        EXPECT_EQ(read.kb, 14u);
        EXPECT_EQ(read.channels, channels);
        EXPECT_EQ(read.max_run, 255u);
        EXPECT_EQ(read.max_frame_bytes, written.max_frame_bytes);
        EXPECT_EQ(read.bit_rate, 0u);
        EXPECT_EQ(read.sample_rate, 96000u);
        if (channels >= 3) {
            const uint32_t tag = (uint32_t(bytes[36]) << 24) | (uint32_t(bytes[37]) << 16) |
                                 (uint32_t(bytes[38]) << 8) | bytes[39];
            EXPECT_EQ(tag, ChannelLayoutTags[channels]);
            EXPECT_EQ(std::string(bytes.begin() + 28, bytes.begin() + 32), "chan");
        }
    }
}

TEST(MagicCookie, ReaderRejectsOtherSizesVersionsAndBoxes) {
    MagicCookie six;
    six.channels = 6;
    std::vector<uint8_t> bytes = write_magic_cookie(six);
    MagicCookie read;
    std::string error;
    EXPECT_FALSE(read_magic_cookie(bytes.data(), 47, read, error));
    EXPECT_EQ(error, "ALAC magic cookie has an unexpected size");
    bytes[28] = 'x';
    EXPECT_FALSE(read_magic_cookie(bytes.data(), bytes.size(), read, error));
    EXPECT_EQ(error, "ALAC magic cookie has a malformed channel layout box");
    bytes[28] = 'c';
    bytes[4] = 1;
    EXPECT_FALSE(read_magic_cookie(bytes.data(), bytes.size(), read, error));
    EXPECT_EQ(error, "ALAC magic cookie has an unsupported version");
}

}  // namespace
}  // namespace qv
