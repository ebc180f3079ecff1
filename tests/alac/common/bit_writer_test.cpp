#include "alac/common/bit_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace qv {
namespace {

uint32_t bit_at(const std::vector<uint8_t>& bytes, uint32_t i) {
    return (bytes[i / 8] >> (7 - i % 8)) & 1;
}

uint32_t read_field(const std::vector<uint8_t>& bytes, uint32_t first, uint32_t count) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < count; ++i) v = (v << 1) | bit_at(bytes, first + i);
    return v;
}

TEST(BitWriter, InitStartsAtTheBufferWithItsCapacity) {
    uint8_t buffer[10];
    BitWriter w;
    bit_writer_init(w, buffer, 10);
    EXPECT_EQ(w.cur, buffer);
    EXPECT_EQ(w.end, buffer + 10);
    EXPECT_EQ(w.bit_index, 0u);
    EXPECT_EQ(w.byte_size, 10u);
    EXPECT_EQ(bit_position(w), 0u);
}

TEST(BitWriter, ThirtyTwoBitsAtEveryOffsetOverDirtyBytes) {
    for (uint32_t offset = 0; offset < 8; ++offset) {
        std::vector<uint8_t> buffer(8, 0xC3);
        const std::vector<uint8_t> before = buffer;
        BitWriter w;
        bit_writer_init(w, buffer.data(), 8);
        write_bits(w, 0, offset);
        write_bits(w, 0xDEADBEEF, 32);
        EXPECT_EQ(bit_position(w), offset + 32);
        EXPECT_EQ(read_field(buffer, offset, 32), 0xDEADBEEFu);
        EXPECT_EQ(read_field(buffer, 0, offset), 0u);
        for (uint32_t i = offset + 32; i < 64; ++i)
            EXPECT_EQ(bit_at(buffer, i), bit_at(before, i)) << i;
    }
}

TEST(BitWriter, ZeroBitsLeaveTheWriterAlone) {
    uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    BitWriter w;
    bit_writer_init(w, buffer, 4);
    write_bits(w, 5, 3);
    write_bits(w, 0xFFFFFFFF, 0);
    EXPECT_EQ(bit_position(w), 3u);
    EXPECT_EQ(buffer[0], 0xAA);  // 101 over 101...
    EXPECT_EQ(buffer[1], 0xAA);
}

TEST(BitWriter, OnlyTheLowBitsOfTheValueAreWritten) {
    uint8_t buffer[2] = {0, 0};
    BitWriter w;
    bit_writer_init(w, buffer, 2);
    write_bits(w, 0xFFFFFFF2, 4);
    EXPECT_EQ(buffer[0], 0x20);
}

TEST(BitWriter, ByteAlignPadsWithZeroBitsOnlyWhenNeeded) {
    uint8_t buffer[3] = {0xFF, 0xFF, 0xFF};
    BitWriter w;
    bit_writer_init(w, buffer, 3);
    byte_align(w);
    EXPECT_EQ(bit_position(w), 0u);
    EXPECT_EQ(buffer[0], 0xFF);
    write_bits(w, 1, 1);
    byte_align(w);
    EXPECT_EQ(bit_position(w), 8u);
    EXPECT_EQ(buffer[0], 0x80);
    byte_align(w);
    EXPECT_EQ(bit_position(w), 8u);
    EXPECT_EQ(buffer[1], 0xFF);
}

TEST(BitWriter, RestoringACopyRewindsTheOutput) {
    std::vector<uint8_t> buffer(8, 0);
    BitWriter w;
    bit_writer_init(w, buffer.data(), 8);
    write_bits(w, 0x5, 3);
    const BitWriter snapshot = w;
    write_bits(w, 0xFFFF, 16);
    EXPECT_EQ(bit_position(w), 19u);
    w = snapshot;
    EXPECT_EQ(bit_position(w), 3u);
    write_bits(w, 0, 16);
    EXPECT_EQ(read_field(buffer, 0, 19), 0x5u << 16);
}

TEST(BitWriter, RandomFieldsMatchABitByBitModel) {
    std::mt19937 rng(42);
    std::vector<uint8_t> buffer(4096);
    for (uint8_t& b : buffer) b = static_cast<uint8_t>(rng());
    std::vector<uint32_t> values, widths;
    BitWriter w;
    bit_writer_init(w, buffer.data(), static_cast<uint32_t>(buffer.size()));
    uint32_t total = 0;
    while (total < 30000) {
        const uint32_t width = rng() % 33;
        const uint32_t value = static_cast<uint32_t>(rng());
        write_bits(w, value, width);
        values.push_back(width == 32 ? value : value & ((1u << width) - 1));
        widths.push_back(width);
        total += width;
        ASSERT_EQ(bit_position(w), total);
    }
    uint32_t at = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(read_field(buffer, at, widths[i]), values[i]) << i;
        at += widths[i];
    }
}

}  // namespace
}  // namespace qv
