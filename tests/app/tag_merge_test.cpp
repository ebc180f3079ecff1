// The options laid over the input's tags field by field, and the input's
// picture taken only when it is a JPEG or PNG that no --artwork replaces.
#include "app/tag_merge.h"

#include <gtest/gtest.h>

#include "app/artwork_file.h"
#include "app/command_line.h"

namespace qv {
namespace {

const std::vector<uint8_t> jpeg{0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
const std::vector<uint8_t> png{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 9};

InputTags full_input() {
    InputTags input;
    input.add_tag("TITLE", "TITLE", "File title");
    input.add_tag("ARTIST", "ARTIST", "File artist");
    input.add_tag("TRACKNUMBER", "TRACKNUMBER", "3/12");
    input.add_tag("DISCNUMBER", "DISCNUMBER", "1/2");
    input.add_tag("GROUPING", "GROUPING", "g");
    input.add_tag("ISRC", "ISRC", "Q");
    input.add_tag("ENCODER", "ENCODER", "other");
    input.offer_picture(3, jpeg.data(), jpeg.size());
    return input;
}

CliOptions parsed(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"in.flac", "out.m4a"});
    CliOptions options;
    EXPECT_TRUE(parse_command_line(arguments, nullptr, options).convert);
    return options;
}

TEST(TagMerge, InputTagsWithoutOptions) {
    const MergedTags merged = merge_tags(parsed({}), full_input());
    EXPECT_EQ(merged.tags.title, "File title");
    EXPECT_EQ(merged.tags.artist, "File artist");
    EXPECT_EQ(merged.tags.track_number, 3);
    EXPECT_EQ(merged.tags.track_total, 12);
    EXPECT_EQ(merged.tags.grouping, "g");
    ASSERT_EQ(merged.tags.freeform.size(), 1u);
    EXPECT_EQ(merged.tags.encoder, default_encoder_text);
    EXPECT_EQ(merged.picture, jpeg);
    EXPECT_EQ(merged.picture_type, artwork_type_jpeg);
}

TEST(TagMerge, EachOptionReplacesItsOwnFieldOnly) {
    const MergedTags merged = merge_tags(
        parsed({"--title", "Mine", "--track", "5", "--disctotal", "4", "--encoder", "enc"}),
        full_input());
    EXPECT_EQ(merged.tags.title, "Mine");
    EXPECT_EQ(merged.tags.artist, "File artist");
    EXPECT_EQ(merged.tags.track_number, 5);
    EXPECT_EQ(merged.tags.track_total, 12);  // "--track 5" keeps the file's total
    EXPECT_EQ(merged.tags.disc_number, 1);
    EXPECT_EQ(merged.tags.disc_total, 4);
    EXPECT_EQ(merged.tags.encoder, "enc");
    EXPECT_EQ(merged.tags.grouping, "g");
}

TEST(TagMerge, ANumberWithItsTotalReplacesBoth) {
    const MergedTags merged = merge_tags(parsed({"--track", "7/0"}), full_input());
    EXPECT_EQ(merged.tags.track_number, 7);
    EXPECT_EQ(merged.tags.track_total, 0);
}

// An option given an empty text removes the file's value for that field.
TEST(TagMerge, AnEmptyOptionClearsTheField) {
    const MergedTags merged = merge_tags(parsed({"--artist", ""}), full_input());
    EXPECT_EQ(merged.tags.artist, "");
    EXPECT_EQ(merged.tags.title, "File title");
}

TEST(TagMerge, ArtworkOptionReplacesThePicture) {
    const MergedTags merged = merge_tags(parsed({"--artwork", "c.png"}), full_input());
    EXPECT_TRUE(merged.picture.empty());
    EXPECT_EQ(merged.picture_type, 0u);
    EXPECT_EQ(merged.tags.title, "File title");
}

TEST(TagMerge, NoInputTagsCopiesNothing) {
    const MergedTags merged =
        merge_tags(parsed({"--no-input-tags", "--album", "A", "--track", "2"}), full_input());
    EXPECT_EQ(merged.tags.title, "");
    EXPECT_EQ(merged.tags.album, "A");
    EXPECT_EQ(merged.tags.track_number, 2);
    EXPECT_EQ(merged.tags.track_total, 0);
    EXPECT_TRUE(merged.tags.freeform.empty());
    EXPECT_TRUE(merged.picture.empty());
}

TEST(TagMerge, PictureTypeComesFromItsBytes) {
    InputTags input;
    input.offer_picture(0, png.data(), png.size());
    MergedTags merged = merge_tags(parsed({}), input);
    EXPECT_EQ(merged.picture_type, artwork_type_png);

    const std::vector<uint8_t> webp{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
    InputTags other;
    other.offer_picture(3, webp.data(), webp.size());
    merged = merge_tags(parsed({}), other);
    EXPECT_TRUE(merged.picture.empty());
    EXPECT_EQ(merged.picture_type, 0u);
}

TEST(TagMerge, FrontCoverWinsOverEarlierAndLaterPictures) {
    InputTags input;
    input.offer_picture(4, png.data(), png.size());
    input.offer_picture(3, jpeg.data(), jpeg.size());
    input.offer_picture(3, png.data(), png.size());
    EXPECT_EQ(merge_tags(parsed({}), input).picture, jpeg);

    InputTags no_front;
    no_front.offer_picture(5, png.data(), png.size());
    no_front.offer_picture(4, jpeg.data(), jpeg.size());
    EXPECT_EQ(merge_tags(parsed({}), no_front).picture, png);
}

// The front cover is the one considered; an unusable one is not swapped
// for another picture.
TEST(TagMerge, UnusableFrontCoverGivesNoPicture) {
    const std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a'};
    InputTags input;
    input.offer_picture(0, jpeg.data(), jpeg.size());
    input.offer_picture(3, gif.data(), gif.size());
    EXPECT_TRUE(merge_tags(parsed({}), input).picture.empty());
}

TEST(TagMerge, UnusableNumbersAreReported) {
    InputTags input;
    input.add_tag("BPM", "BPM", "fast");
    const MergedTags merged = merge_tags(parsed({}), input);
    EXPECT_EQ(merged.unusable, std::vector<std::string>{"BPM"});
    EXPECT_FALSE(merged.tags.has_tempo);
}

TEST(ArtworkType, FromTheFirstBytes) {
    EXPECT_EQ(artwork_type_of(jpeg), artwork_type_jpeg);
    EXPECT_EQ(artwork_type_of(png), artwork_type_png);
    EXPECT_EQ(artwork_type_of(std::vector<uint8_t>{0xFF, 0xD8}), 0u);
    EXPECT_EQ(artwork_type_of(std::vector<uint8_t>(png.begin(), png.begin() + 7)), 0u);
    EXPECT_EQ(artwork_type_of(std::vector<uint8_t>{}), 0u);
}

}  // namespace
}  // namespace qv
