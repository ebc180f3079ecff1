#include "m4a/box_builder.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(BoxBuilder, IntegersAreBigEndianAndAppended) {
    Bytes out{0xEE};
    put_u16_be(out, 0x0102);
    put_u32_be(out, 0x03040506);
    put_u64_be(out, 0x0708090A0B0C0D0Eull);
    EXPECT_EQ(out, (Bytes{0xEE, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
}

TEST(BoxBuilder, FourccIsFourRawBytes) {
    Bytes out;
    put_fourcc(out, "M4A ");
    put_fourcc(out,
               "\xA9"
               "nam");
    EXPECT_EQ(out, (Bytes{'M', '4', 'A', ' ', 0xA9, 'n', 'a', 'm'}));
}

TEST(BoxBuilder, AppendBytesKeepsOrder) {
    Bytes out{1};
    append_bytes(out, Bytes{2, 3});
    append_bytes(out, Bytes{});
    EXPECT_EQ(out, (Bytes{1, 2, 3}));
}

TEST(BoxBuilder, BoxSizeCountsItsHeader) {
    EXPECT_EQ(make_box("free", Bytes{}), (Bytes{0, 0, 0, 8, 'f', 'r', 'e', 'e'}));
    EXPECT_EQ(make_box("abcd", Bytes{9, 8, 7}), (Bytes{0, 0, 0, 11, 'a', 'b', 'c', 'd', 9, 8, 7}));
    EXPECT_EQ(make_box("big ", Bytes(70000, 0)).size(), 70008u);
    EXPECT_EQ(make_box("big ", Bytes(70000, 0))[1], 0x01);  // 70008 = 0x00011178
}

TEST(BoxBuilder, FullBoxHasVersionZeroAnd24BitFlags) {
    EXPECT_EQ(make_full_box("url ", 1, Bytes{}),
              (Bytes{0, 0, 0, 12, 'u', 'r', 'l', ' ', 0, 0, 0, 1}));
    EXPECT_EQ(make_full_box("tkhd", 0x123456, Bytes{0xAA}),
              (Bytes{0, 0, 0, 13, 't', 'k', 'h', 'd', 0, 0x12, 0x34, 0x56, 0xAA}));
}

TEST(BoxBuilder, FullBoxCarriesAGivenVersion) {
    EXPECT_EQ(make_full_box("mdhd", 0xFFFFFF07, Bytes{0xAA}, 1),
              (Bytes{0, 0, 0, 13, 'm', 'd', 'h', 'd', 1, 0xFF, 0xFF, 0x07, 0xAA}));
}

TEST(BoxBuilder, LargeHeaderHasSizeOneThenTheSizeIn64Bits) {
    EXPECT_EQ(make_large_box_header("mdat", 0x100000008ull),
              (Bytes{0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 1, 0, 0, 0, 8}));
    EXPECT_EQ(
        make_large_box_header("mdat", 0x0123456789ABCDEFull),
        (Bytes{0, 0, 0, 1, 'm', 'd', 'a', 't', 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
}

}  // namespace
}  // namespace qv
