// The input's Vorbis-style tags as item fields: names without regard to
// case, several values joined, the fallbacks between names, numbers that
// cannot be used, and freeform items for the rest.
#include "app/input_tag_fields.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

InputTags tags_of(std::initializer_list<std::pair<const char*, const char*>> entries) {
    InputTags input;
    for (const auto& [name, value] : entries) {
        input.add_tag(name, name, value);
    }
    return input;
}

struct Mapped {
    TagSet tags;
    std::vector<std::string> unusable;
};

Mapped map(const InputTags& input) {
    Mapped mapped;
    mapped.tags = tags_from_input(input, mapped.unusable);
    return mapped;
}

TEST(InputTagFields, EveryNamedFieldFindsItsItem) {
    const Mapped m =
        map(tags_of({{"TITLE", "t"},        {"ARTIST", "a"},      {"ALBUM", "al"},
                     {"ALBUMARTIST", "aa"}, {"GENRE", "g"},       {"DATE", "2024"},
                     {"COMMENT", "c"},      {"COMPOSER", "w"},    {"LYRICS", "l"},
                     {"COPYRIGHT", "cp"},   {"TRACKNUMBER", "3"}, {"TRACKTOTAL", "12"},
                     {"DISCNUMBER", "1"},   {"DISCTOTAL", "2"},   {"GROUPING", "gr"},
                     {"BPM", "128"},        {"COMPILATION", "1"}, {"TITLESORT", "ts"},
                     {"ARTISTSORT", "as"},  {"ALBUMSORT", "als"}, {"ALBUMARTISTSORT", "aas"},
                     {"COMPOSERSORT", "cs"}}));
    const TagSet& t = m.tags;
    EXPECT_EQ(t.title, "t");
    EXPECT_EQ(t.artist, "a");
    EXPECT_EQ(t.album, "al");
    EXPECT_EQ(t.album_artist, "aa");
    EXPECT_EQ(t.genre, "g");
    EXPECT_EQ(t.date, "2024");
    EXPECT_EQ(t.comment, "c");
    EXPECT_EQ(t.composer, "w");
    EXPECT_EQ(t.lyrics, "l");
    EXPECT_EQ(t.copyright, "cp");
    EXPECT_EQ(t.encoder, "");
    EXPECT_EQ(t.track_number, 3);
    EXPECT_EQ(t.track_total, 12);
    EXPECT_EQ(t.disc_number, 1);
    EXPECT_EQ(t.disc_total, 2);
    EXPECT_EQ(t.grouping, "gr");
    EXPECT_TRUE(t.has_tempo);
    EXPECT_EQ(t.tempo, 128);
    EXPECT_TRUE(t.compilation);
    EXPECT_EQ(t.title_sort, "ts");
    EXPECT_EQ(t.artist_sort, "as");
    EXPECT_EQ(t.album_sort, "als");
    EXPECT_EQ(t.album_artist_sort, "aas");
    EXPECT_EQ(t.composer_sort, "cs");
    EXPECT_TRUE(t.freeform.empty());
    EXPECT_TRUE(m.unusable.empty());
}

TEST(InputTagFields, NamesCompareWithoutCaseAndValuesJoinInFileOrder) {
    const Mapped m = map(tags_of({{"artist", "One"},
                                  {"Title", "T"},
                                  {"ARTIST", "Two"},
                                  {"Artist", ""},
                                  {"aRtIsT", "Three"}}));
    EXPECT_EQ(m.tags.artist, "One; Two; Three");
    EXPECT_EQ(m.tags.title, "T");
}

TEST(InputTagFields, FirstNameWinsOverItsAlternative) {
    const Mapped both = map(tags_of({{"YEAR", "1999"},
                                     {"DATE", "2024-05-01"},
                                     {"ALBUM ARTIST", "spaced"},
                                     {"ALBUMARTIST", "joined"},
                                     {"DESCRIPTION", "d"},
                                     {"COMMENT", "c"},
                                     {"UNSYNCEDLYRICS", "u"},
                                     {"LYRICS", "l"}}));
    EXPECT_EQ(both.tags.date, "2024-05-01");
    EXPECT_EQ(both.tags.album_artist, "joined");
    EXPECT_EQ(both.tags.comment, "c");
    EXPECT_EQ(both.tags.lyrics, "l");
    // The alternatives passed over are not kept as freeform items either.
    EXPECT_TRUE(both.tags.freeform.empty());

    const Mapped alone = map(tags_of({{"year", "1999"},
                                      {"Album Artist", "spaced"},
                                      {"DESCRIPTION", "d"},
                                      {"UNSYNCEDLYRICS", "u"}}));
    EXPECT_EQ(alone.tags.date, "1999");
    EXPECT_EQ(alone.tags.album_artist, "spaced");
    EXPECT_EQ(alone.tags.comment, "d");
    EXPECT_EQ(alone.tags.lyrics, "u");
}

TEST(InputTagFields, TrackNumberWithTotalAndTotalFields) {
    Mapped m = map(tags_of({{"TRACKNUMBER", "3/12"}}));
    EXPECT_EQ(m.tags.track_number, 3);
    EXPECT_EQ(m.tags.track_total, 12);
    // A total field of its own wins over the total after the slash.
    m = map(tags_of({{"TRACKNUMBER", "3/12"}, {"TRACKTOTAL", "14"}}));
    EXPECT_EQ(m.tags.track_total, 14);
    m = map(tags_of({{"TOTALTRACKS", "9"}, {"TRACKNUMBER", "4"}}));
    EXPECT_EQ(m.tags.track_number, 4);
    EXPECT_EQ(m.tags.track_total, 9);
    m = map(tags_of({{"TOTALDISCS", "3"}, {"DISCTOTAL", "2"}, {"discnumber", "2/5"}}));
    EXPECT_EQ(m.tags.disc_number, 2);
    EXPECT_EQ(m.tags.disc_total, 2);
    EXPECT_TRUE(m.tags.freeform.empty());
    EXPECT_TRUE(m.unusable.empty());
}

TEST(InputTagFields, UnusableNumbersAreLeftOutAndNamed) {
    const Mapped m = map(tags_of({{"TrackNumber", "3 of 12"},
                                  {"TRACKTOTAL", "65536"},
                                  {"DISCNUMBER", "1/"},
                                  {"DISCTOTAL", "2"},
                                  {"BPM", "120.5"},
                                  {"COMPILATION", "yes"},
                                  {"TITLE", "kept"}}));
    EXPECT_EQ(m.tags.track_number, 0);
    EXPECT_EQ(m.tags.track_total, 0);
    EXPECT_EQ(m.tags.disc_number, 0);
    EXPECT_EQ(m.tags.disc_total, 2);
    EXPECT_FALSE(m.tags.has_tempo);
    EXPECT_FALSE(m.tags.compilation);
    EXPECT_EQ(m.tags.title, "kept");
    EXPECT_EQ(m.unusable, (std::vector<std::string>{"TrackNumber", "TRACKTOTAL", "DISCNUMBER",
                                                    "BPM", "COMPILATION"}));
    // Nor do they come back as freeform items.
    EXPECT_TRUE(m.tags.freeform.empty());
}

TEST(InputTagFields, NumbersAtTheEdges) {
    Mapped m = map(tags_of({{"BPM", "0"}, {"TRACKNUMBER", " 65535 / 007 "}}));
    EXPECT_TRUE(m.tags.has_tempo);
    EXPECT_EQ(m.tags.tempo, 0);
    EXPECT_EQ(m.tags.track_number, 65535);
    EXPECT_EQ(m.tags.track_total, 7);
    // Two values of a number field are no single number.
    m = map(tags_of({{"TRACKNUMBER", "1"}, {"TRACKNUMBER", "2"}, {"BPM", "-5"}}));
    EXPECT_EQ(m.tags.track_number, 0);
    EXPECT_EQ(m.unusable, (std::vector<std::string>{"TRACKNUMBER", "BPM"}));
    m = map(tags_of({{"COMPILATION", "0"}}));
    EXPECT_FALSE(m.tags.compilation);
    EXPECT_TRUE(m.unusable.empty());
}

TEST(InputTagFields, OtherFieldsBecomeFreeformInFileOrderAndEncoderFieldsAreDropped) {
    const Mapped m = map(tags_of({{"REPLAYGAIN_TRACK_GAIN", "-3.20 dB"},
                                  {"encoder", "x"},
                                  {"ENCODED_BY", "y"},
                                  {"Label", "A"},
                                  {"ISRC", "Q"},
                                  {"ENCODERSETTINGS", "-8"},
                                  {"LABEL", "B"},
                                  {"WAVEFORMATEXTENSIBLE_CHANNEL_MASK", "0x3"},
                                  {"EMPTY", ""}}));
    ASSERT_EQ(m.tags.freeform.size(), 3u);
    EXPECT_EQ(m.tags.freeform[0].name, "REPLAYGAIN_TRACK_GAIN");
    EXPECT_EQ(m.tags.freeform[0].value, "-3.20 dB");
    EXPECT_EQ(m.tags.freeform[1].name, "Label");  // as first written
    EXPECT_EQ(m.tags.freeform[1].value, "A; B");
    EXPECT_EQ(m.tags.freeform[2].name, "ISRC");
    EXPECT_EQ(m.tags.encoder, "");
}

TEST(InputTagFields, LabelsNameTheFieldInMessagesAndFreeformItems) {
    InputTags input;
    input.add_tag("TRACKNUMBER", "ITRK", "x");
    const Mapped m = map(input);
    EXPECT_EQ(m.unusable, std::vector<std::string>{"ITRK"});
}

}  // namespace
}  // namespace qv
