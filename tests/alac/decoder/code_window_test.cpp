// The residual decoder's code windows against BitReader, from every start
// bit, through the end and past it.
#include "alac/decoder/code_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qv {
namespace {

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
            EXPECT_EQ(golomb_reader::take(window, first), plain.read(first));
            EXPECT_EQ(golomb_reader::take(window, second), plain.read(second));
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
