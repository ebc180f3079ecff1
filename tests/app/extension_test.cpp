#include "app/extension.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

std::string ext(const char* name) { return lowercase_extension(std::filesystem::path(name)); }

TEST(LowercaseExtension, LowersAsciiLetters) {
    EXPECT_EQ(ext("song.WAV"), ".wav");
    EXPECT_EQ(ext("OUT.M4a"), ".m4a");
    EXPECT_EQ(ext("cover.JPEG"), ".jpeg");
    // Bytes outside ASCII are kept as they are.
    EXPECT_EQ(ext("a.W\xC3\x84V"), ".w\xC3\x84v");
}

TEST(LowercaseExtension, OnlyTheLastDotCounts) {
    EXPECT_EQ(ext("archive.tar.flac"), ".flac");
    EXPECT_EQ(ext("in.wav.m4a"), ".m4a");
    EXPECT_EQ(ext("name."), ".");
    EXPECT_EQ(ext("name"), "");
    EXPECT_EQ(ext(""), "");
}

TEST(LowercaseExtension, ALeadingDotIsPartOfTheName) {
    EXPECT_EQ(ext(".wav"), "");
    EXPECT_EQ(ext("dir/.wav"), "");
    EXPECT_EQ(ext("..wav"), ".wav");
    EXPECT_EQ(ext(".hidden.flac"), ".flac");
    EXPECT_EQ(ext("."), "");
    EXPECT_EQ(ext(".."), "");
    EXPECT_EQ(ext("dir/.."), "");
    EXPECT_EQ(ext("..."), ".");
}

TEST(LowercaseExtension, OnlyTheLastComponentCounts) {
    EXPECT_EQ(ext("music.d/track"), "");
    EXPECT_EQ(ext("music.d/track.Wave"), ".wave");
    EXPECT_EQ(ext("music.d\\track"), "");
    EXPECT_EQ(ext("C:\\Music\\track.RF64"), ".rf64");
    EXPECT_EQ(ext("dir/"), "");
    EXPECT_EQ(ext("song.wav/"), "");
}

TEST(LowercaseExtension, ColonIsAnOrdinaryCharacterOutsideWindows) {
#ifdef _WIN32
    EXPECT_EQ(ext("song.wav:stream"), ".wav");
    EXPECT_EQ(ext("C:name"), "");
#else
    EXPECT_EQ(ext("Symphony No. 5: Allegro.wav"), ".wav");
    EXPECT_EQ(ext("song.wav:stream"), ".wav:stream");
    EXPECT_EQ(ext("a:b"), "");
#endif
}

}  // namespace
}  // namespace qv
