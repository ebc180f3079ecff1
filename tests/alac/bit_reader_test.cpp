// BitReader's whole-byte field reads against one read() per field, at every
// bit offset, up to the last byte; the residual decoder's code window
// against BitReader, from every start bit, through the end and past it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "alac/bit_reader.h"
#include "alac/golomb_reader.h"

namespace qv {
namespace {

TEST(BitReaderFields, MatchOneReadPerFieldAtEveryOffsetUpToTheLastByte) {
    std::vector<uint8_t> bytes(23);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 97 + 31);
    for (uint32_t width : {8u, 16u, 24u}) {
        for (uint32_t offset = 0; offset < 8; ++offset) {
            SCOPED_TRACE(testing::Message() << "width " << width << ", offset " << offset);
            // As many fields as fit, so that the last one ends in the last
            // byte (or just before it) and the short-load path is taken.
            const size_t count = (bytes.size() * 8 - offset) / width;
            BitReader plain(bytes.data(), bytes.size());
            BitReader fast = plain;
            plain.skip(offset);
            fast.skip(offset);
            std::vector<uint32_t> want(count), got(count, 0xDEADBEEF);
            for (size_t i = 0; i < count; ++i) want[i] = plain.read(width);
            fast.read_byte_fields(got.data(), count, width);
            EXPECT_EQ(got, want);
            EXPECT_EQ(fast.bit_position(), plain.bit_position());
            EXPECT_FALSE(fast.overrun());
        }
    }
}

// Both windows the residual decoder reads codes through.
template <typename Window>
void expect_window_reads_as_bit_reader() {
    std::vector<uint8_t> bytes(29);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 113 + 7);
    const size_t total = bytes.size() * 8;
    for (size_t start = 0; start < 20; ++start) {
        SCOPED_TRACE(testing::Message() << "start " << start);
        BitReader plain(bytes.data(), bytes.size());
        plain.skip(start);
        Window window(plain);
        // Widths that vary and sum past the end; every fill is followed by
        // reads of at most 41 bits, as the decoder makes them.
        uint32_t width = 1 + uint32_t(start % 13);
        while (plain.bit_position() < total) {
            window.fill();
            const uint32_t first = width, second = (width * 7) % 9;
            const uint64_t bits = window.bits();
            EXPECT_EQ(uint32_t(bits >> 32), plain.peek32());
            EXPECT_EQ(window.take(first), plain.read(first));
            EXPECT_EQ(window.take(second), plain.read(second));
            EXPECT_EQ(window.overrun(), plain.overrun());
            if (!plain.overrun()) {
                EXPECT_EQ(window.position(), plain.bit_position());
            }
            width = width % 32 + 1;
        }
        EXPECT_TRUE(window.overrun());
        BitReader handed(bytes.data(), bytes.size());
        window.store(handed);
        EXPECT_TRUE(handed.overrun());
        EXPECT_EQ(handed.bit_position(), total);
    }
}

TEST(CodeWindows, ReadWhatBitReaderReadsFromAnyStartThroughTheEndAndPast) {
    expect_window_reads_as_bit_reader<golomb_reader::CodeWindow>();
    expect_window_reads_as_bit_reader<golomb_reader::ReloadWindow>();
}

}  // namespace
}  // namespace qv
