#include "m4a/metadata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "box_walker.h"

namespace qv {
namespace {

using test::box_at;
using test::children;
using test::children_of;
using test::u32_at;

TagSet no_tags() {
    TagSet tags;
    tags.encoder.clear();
    return tags;
}

std::vector<std::string> item_codes(const Bytes& udta) {
    const test::Box ilst = box_at(udta, "udta/meta/ilst");
    std::vector<std::string> codes;
    for (const test::Box& item : children_of(udta, ilst, "meta")) codes.push_back(item.type);
    return codes;
}

TEST(Metadata, WorkedItemBytes) {
    Bytes list;
    put_text_item(list,
                  "\xA9"
                  "nam",
                  "abc");
    EXPECT_EQ(list, (Bytes{0x00, 0x00, 0x00, 0x1B, 0xA9, 0x6E, 0x61, 0x6D, 0x00,
                           0x00, 0x00, 0x13, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00,
                           0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63}));
    list.clear();
    put_number_pair_item(list, "trkn", 3, 12, false);
    EXPECT_EQ(list, (Bytes{0x00, 0x00, 0x00, 0x20, 0x74, 0x72, 0x6B, 0x6E, 0x00, 0x00, 0x00,
                           0x18, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x0C, 0x00, 0x00}));
    list.clear();
    put_number_pair_item(list, "disk", 1, 2, true);
    EXPECT_EQ(list, (Bytes{0x00, 0x00, 0x00, 0x1E, 0x64, 0x69, 0x73, 0x6B, 0x00, 0x00,
                           0x00, 0x16, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02}));
}

TEST(Metadata, UdtaWrapsHandlerAndItemList) {
    TagSet tags = no_tags();
    tags.title = "abc";
    const Bytes udta = build_udta(tags, {}, 0);
    // udta(8) meta(12) hdlr(33) ilst(8) item(27)
    ASSERT_EQ(udta.size(), 88u);
    EXPECT_EQ(test::types_of(children(udta, 0, udta.size())), "udta");
    const test::Box meta = box_at(udta, "udta/meta");
    EXPECT_EQ(u32_at(udta, meta.offset + 8), 0u);  // version and flags
    EXPECT_EQ(test::types_of(children_of(udta, meta, "udta")), "hdlr ilst");
    const test::Box hdlr = box_at(udta, "udta/meta/hdlr");
    EXPECT_EQ(test::bytes_of(udta, hdlr.offset, hdlr.size),
              (Bytes{0x00, 0x00, 0x00, 0x21, 0x68, 0x64, 0x6C, 0x72, 0x00, 0x00, 0x00,
                     0x00, 0x00, 0x00, 0x00, 0x00, 0x6D, 0x64, 0x69, 0x72, 0x61, 0x70,
                     0x70, 0x6C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(udta[udta.size() - 1], 'c');
}

TEST(Metadata, ItemsFollowTheFixedOrder) {
    // Filled back to front: the order in the file does not depend on it.
    TagSet tags;
    tags.disc_number = 1;
    tags.track_total = 9;
    tags.encoder = "enc";
    tags.copyright = "c";
    tags.lyrics = "l";
    tags.composer = "w";
    tags.comment = "m";
    tags.date = "2024";
    tags.genre = "g";
    tags.album_artist = "aa";
    tags.album = "al";
    tags.artist = "ar";
    tags.title = "t";
    const Bytes cover{0xFF, 0xD8, 0xFF};
    const std::vector<std::string> expected{
        "\xA9"
        "nam",
        "\xA9"
        "ART",
        "\xA9"
        "alb",
        "aART",
        "\xA9"
        "gen",
        "\xA9"
        "day",
        "\xA9"
        "cmt",
        "\xA9"
        "wrt",
        "\xA9"
        "lyr",
        "cprt",
        "\xA9"
        "too",
        "trkn",
        "disk",
        "covr"};
    EXPECT_EQ(item_codes(build_udta(tags, cover, artwork_type_jpeg)), expected);
}

TEST(Metadata, InputOnlyItemsFollowTheOptionItemsAndPrecedeTheCover) {
    TagSet tags;
    tags.freeform = {{"ISRC", "x"}, {"LABEL", "y"}};
    tags.composer_sort = "cs";
    tags.album_artist_sort = "aas";
    tags.album_sort = "als";
    tags.artist_sort = "as";
    tags.title_sort = "ts";
    tags.compilation = true;
    tags.has_tempo = true;
    tags.grouping = "g";
    tags.disc_total = 2;
    tags.title = "t";
    const Bytes cover{0x89, 0x50};
    const std::vector<std::string> expected{
        "\xA9"
        "nam",
        "\xA9"
        "too",
        "disk",
        "\xA9"
        "grp",
        "tmpo",
        "cpil",
        "sonm",
        "soar",
        "soal",
        "soaa",
        "soco",
        "----",
        "----",
        "covr"};
    EXPECT_EQ(item_codes(build_udta(tags, cover, artwork_type_png)), expected);
}

TEST(Metadata, TempoAndCompilationAreIntegerItems) {
    Bytes list;
    put_tempo_item(list, 0x1234);
    EXPECT_EQ(list, (Bytes{0x00, 0x00, 0x00, 0x1A, 0x74, 0x6D, 0x70, 0x6F, 0x00,
                           0x00, 0x00, 0x12, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00,
                           0x00, 0x15, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34}));
    list.clear();
    put_compilation_item(list);
    EXPECT_EQ(list,
              (Bytes{0x00, 0x00, 0x00, 0x19, 0x63, 0x70, 0x69, 0x6C, 0x00, 0x00, 0x00, 0x11, 0x64,
                     0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x15, 0x00, 0x00, 0x00, 0x00, 0x01}));
}

// A tempo of 0 is written when the input had one; no tempo writes nothing.
TEST(Metadata, TempoZeroIsAValue) {
    TagSet tags = no_tags();
    EXPECT_TRUE(build_udta(tags, {}, 0).empty());
    tags.has_tempo = true;
    EXPECT_EQ(item_codes(build_udta(tags, {}, 0)), std::vector<std::string>{"tmpo"});
}

TEST(Metadata, FreeformItemBytes) {
    Bytes list;
    put_freeform_item(list, {"Isrc", "AB"});
    const Bytes mean{0x63, 0x6F, 0x6D, 0x2E, 0x61, 0x70, 0x70, 0x6C,
                     0x65, 0x2E, 0x69, 0x54, 0x75, 0x6E, 0x65, 0x73};
    Bytes expected{0x00, 0x00, 0x00, 0x46, 0x2D, 0x2D, 0x2D, 0x2D,  // ---- (70)
                   0x00, 0x00, 0x00, 0x1C, 0x6D, 0x65, 0x61, 0x6E, 0x00, 0x00, 0x00, 0x00};
    expected.insert(expected.end(), mean.begin(), mean.end());
    const Bytes rest{0x00, 0x00, 0x00, 0x10, 0x6E, 0x61, 0x6D, 0x65, 0x00,
                     0x00, 0x00, 0x00, 0x49, 0x73, 0x72, 0x63,  // name "Isrc", as written
                     0x00, 0x00, 0x00, 0x12, 0x64, 0x61, 0x74, 0x61, 0x00,
                     0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x41, 0x42};
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(list, expected);
    list.clear();
    put_freeform_item(list, {"EMPTY", ""});
    EXPECT_TRUE(list.empty());
}

TEST(Metadata, NumberPairsWrittenWhenEitherValueIsSet) {
    Bytes list;
    put_number_pair_item(list, "trkn", 0, 5, false);
    ASSERT_EQ(list.size(), 32u);
    EXPECT_EQ(u32_at(list, 24), 0x00000000u);  // reserved, number 0
    EXPECT_EQ(u32_at(list, 28), 0x00050000u);  // total 5, reserved
    list.clear();
    put_number_pair_item(list, "trkn", 7, 0, false);
    EXPECT_EQ(u32_at(list, 24), 0x00000007u);
    EXPECT_EQ(u32_at(list, 28), 0x00000000u);
    list.clear();
    put_number_pair_item(list, "trkn", 0, 0, false);
    put_number_pair_item(list, "disk", 0, 0, true);
    EXPECT_TRUE(list.empty());
    put_number_pair_item(list, "disk", 0, 3, true);
    ASSERT_EQ(list.size(), 30u);
    EXPECT_EQ(u32_at(list, 24), 0x00000000u);
    EXPECT_EQ(list[28] * 256 + list[29], 3);
}

TEST(Metadata, EmptyTextWritesNothing) {
    Bytes list;
    put_text_item(list,
                  "\xA9"
                  "nam",
                  "");
    EXPECT_TRUE(list.empty());
}

TEST(Metadata, TextBytesAreStoredUnchanged) {
    Bytes list;
    const std::string text = "K\xC3\xB6ln \xE2\x99\xAA\xFF";  // any bytes, not checked
    put_text_item(list,
                  "\xA9"
                  "ART",
                  text);
    ASSERT_EQ(list.size(), 24 + text.size());
    EXPECT_EQ(std::string(list.begin() + 24, list.end()), text);
}

TEST(Metadata, CoverCarriesTypeCodeAndBytes) {
    Bytes image(1000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    for (uint32_t type : {artwork_type_jpeg, artwork_type_png}) {
        Bytes list;
        put_cover_item(list, image, type);
        ASSERT_EQ(list.size(), 24 + image.size());
        EXPECT_EQ(test::type_at(list, 4), "covr");
        EXPECT_EQ(test::type_at(list, 12), "data");
        EXPECT_EQ(u32_at(list, 16), type);
        EXPECT_EQ(u32_at(list, 20), 0u);
        EXPECT_EQ(Bytes(list.begin() + 24, list.end()), image);
    }
}

TEST(Metadata, CoverNeedsBytesAndAKnownType) {
    const Bytes image{1, 2, 3};
    EXPECT_TRUE(build_udta(no_tags(), image, 0).empty());
    EXPECT_TRUE(build_udta(no_tags(), image, 15).empty());
    EXPECT_TRUE(build_udta(no_tags(), {}, artwork_type_png).empty());
    EXPECT_EQ(item_codes(build_udta(no_tags(), image, artwork_type_png)),
              std::vector<std::string>{"covr"});
}

TEST(Metadata, NothingToWriteGivesNoUdta) { EXPECT_TRUE(build_udta(no_tags(), {}, 0).empty()); }

TEST(Metadata, DefaultEncoderAlone) {
    const Bytes udta = build_udta(TagSet{}, {}, 0);
    EXPECT_EQ(item_codes(udta), std::vector<std::string>{"\xA9"
                                                         "too"});
    const std::string text = default_encoder_text;
    EXPECT_EQ(std::string(udta.end() - static_cast<std::ptrdiff_t>(text.size()), udta.end()), text);
}

}  // namespace
}  // namespace qv
