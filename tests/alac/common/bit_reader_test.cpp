// BitReader's whole-byte field reads against one read() per field, at every
// bit offset, up to the last byte.
#include "alac/common/bit_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

}  // namespace
}  // namespace qv
