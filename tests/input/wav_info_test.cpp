// WAV INFO lists: the fields they give, and that reading them, before or
// after the audio, changes nothing about which files are accepted.
#include "input/wav_info.h"

#include <gtest/gtest.h>

#include "input/wav_fixture.h"
#include "input/wav_reader.h"

namespace qv::test {
namespace {

const Bytes kStereoFmt = fmt_body(pcm_fmt(2, 16));
const Bytes kFrames = pcm_bytes({100, -100, 200, -200, 300, -300}, 16, 16);

Bytes text(const std::string& value) { return Bytes(value.begin(), value.end()); }

// A LIST body: the list type, then each sub-chunk padded to even length.
Bytes list_of(const std::string& type,
              std::initializer_list<std::pair<std::string, Bytes>> entries) {
    Bytes body = text(type);
    for (const auto& [id, value] : entries) {
        put_id(body, id);
        put_u32(body, static_cast<uint32_t>(value.size()));
        body.insert(body.end(), value.begin(), value.end());
        if (value.size() % 2 != 0) {
            body.push_back(0);
        }
    }
    return body;
}

std::vector<std::pair<std::string, std::string>> fields(const InputTags& tags) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const InputTag& tag : tags.tags) {
        out.emplace_back(tag.name + "/" + tag.label, tag.value);
    }
    return out;
}

InputTags parsed(const Bytes& body) {
    InputTags tags;
    read_info_list(body.data(), body.size(), tags);
    return tags;
}

struct TaggedRun {
    WavRun run;
    InputTags tags;
};

TaggedRun run_with_tags(const WavFile& file, bool ignore_length = false) {
    const std::filesystem::path path = test_directory() / "tagged.wav";
    file.write(path);
    TaggedRun tagged;
    WavRun& run = tagged.run;
    run.recorder.format = &run.format;
    WavReadOptions options;
    options.ignore_length = ignore_length;
    options.tags = &tagged.tags;
    uint32_t ignored = 0;
    run.ok = read_wav_input(path, options, run.format, &PcmRecorder::consume, &run.recorder,
                            run.error, ignored);
    return tagged;
}

TEST(WavInfo, FieldsBecomeVorbisNames) {
    const InputTags tags = parsed(list_of("INFO", {{"INAM", text("Title\0")},
                                                   {"IART", text("Artist")},
                                                   {"IPRD", text("Album")},
                                                   {"IGNR", text("Genre")},
                                                   {"ICRD", text("2024")},
                                                   {"ICMT", text("Note")},
                                                   {"ICOP", text("(c)")},
                                                   {"ITRK", text("7")},
                                                   {"ISFT", text("Writer 1.0")}}));
    EXPECT_EQ(fields(tags),
              (std::vector<std::pair<std::string, std::string>>{{"TITLE/INAM", "Title"},
                                                                {"ARTIST/IART", "Artist"},
                                                                {"ALBUM/IPRD", "Album"},
                                                                {"GENRE/IGNR", "Genre"},
                                                                {"DATE/ICRD", "2024"},
                                                                {"COMMENT/ICMT", "Note"},
                                                                {"COPYRIGHT/ICOP", "(c)"},
                                                                {"TRACKNUMBER/ITRK", "7"}}));
}

TEST(WavInfo, TextIsUtf8ElseLatin1) {
    const InputTags tags = parsed(list_of("INFO", {{"INAM", Bytes{'C', 0xC3, 0xA9, 0, 0}},
                                                   {"IART", Bytes{'B', 0xE9, 'b', 0xE9}},
                                                   {"IPRD", Bytes{0xC3}}}));
    EXPECT_EQ(fields(tags),
              (std::vector<std::pair<std::string, std::string>>{{"TITLE/INAM", "C\xC3\xA9"},
                                                                {"ARTIST/IART",
                                                                 "B\xC3\xA9"
                                                                 "b\xC3\xA9"},
                                                                {"ALBUM/IPRD", "\xC3\x83"}}));
}

TEST(WavInfo, FirstValueWinsAndItrkOverIprt) {
    const InputTags tags = parsed(list_of("INFO", {{"IPRT", text("2")},
                                                   {"INAM", text("one")},
                                                   {"INAM", text("two")},
                                                   {"ITRK", text("5")},
                                                   {"IPRT", text("9")},
                                                   {"IART", Bytes{0, 0}}}));
    EXPECT_EQ(fields(tags), (std::vector<std::pair<std::string, std::string>>{
                                {"TRACKNUMBER/ITRK", "5"}, {"TITLE/INAM", "one"}}));
}

TEST(WavInfo, OtherListsAndDamageGiveWhatCameBefore) {
    EXPECT_TRUE(parsed(list_of("adtl", {{"INAM", text("x")}})).tags.empty());
    EXPECT_TRUE(parsed(Bytes{'I', 'N'}).tags.empty());
    Bytes cut = list_of("INFO", {{"INAM", text("kept")}, {"IART", text("lost")}});
    cut.resize(cut.size() - 2);
    EXPECT_EQ(fields(parsed(cut)),
              (std::vector<std::pair<std::string, std::string>>{{"TITLE/INAM", "kept"}}));
    // A last sub-chunk without its pad byte still counts.
    Bytes unpadded = list_of("INFO", {{"INAM", text("odd")}});
    unpadded.pop_back();
    EXPECT_EQ(parsed(unpadded).tags.size(), 1u);
}

TEST(WavInfo, ListsBeforeAndAfterTheAudio) {
    WavFile file;
    file.chunk("LIST", list_of("INFO", {{"INAM", text("Before")}}))
        .chunk("fmt ", kStereoFmt)
        .chunk("data", kFrames)
        .chunk("JUNK", Bytes(5, 0))
        .chunk("LIST", list_of("INFO", {{"IART", text("After")}, {"INAM", text("Late")}}));
    const TaggedRun tagged = run_with_tags(file);
    ASSERT_TRUE(tagged.run.ok) << tagged.run.error;
    EXPECT_EQ(fields(tagged.tags), (std::vector<std::pair<std::string, std::string>>{
                                       {"TITLE/INAM", "Before"}, {"ARTIST/IART", "After"}}));
    EXPECT_EQ(tagged.run.recorder.blocks, std::vector<uint32_t>{3});
}

// An odd-sized data chunk is followed by its pad byte before the next chunk.
TEST(WavInfo, ListAfterAnOddDataChunk) {
    WavFile file;
    file.chunk("fmt ", fmt_body(pcm_fmt(1, 24)))
        .chunk("data", pcm_bytes({1, 2, 3}, 24, 24))
        .chunk("LIST", list_of("INFO", {{"ICMT", text("c")}}));
    const TaggedRun tagged = run_with_tags(file);
    ASSERT_TRUE(tagged.run.ok) << tagged.run.error;
    EXPECT_EQ(fields(tagged.tags),
              (std::vector<std::pair<std::string, std::string>>{{"COMMENT/ICMT", "c"}}));
}

// Audio read to the end of the input leaves nothing after it.
TEST(WavInfo, ReadingToTheEndTakesOnlyTheListBefore) {
    WavFile file;
    file.chunk("LIST", list_of("INFO", {{"INAM", text("Before")}}))
        .chunk("fmt ", kStereoFmt)
        .chunk("data", kFrames);
    const TaggedRun tagged = run_with_tags(file, true);
    ASSERT_TRUE(tagged.run.ok) << tagged.run.error;
    EXPECT_EQ(tagged.tags.tags.size(), 1u);
}

// Whatever follows the audio, the read succeeds with the same samples.
TEST(WavInfo, DamageAfterTheAudioIsIgnored) {
    const Bytes list = list_of("INFO", {{"INAM", text("T")}});
    std::vector<WavFile> files(4);
    for (WavFile& file : files) {
        file.chunk("fmt ", kStereoFmt).chunk("data", kFrames);
    }
    files[0].chunk("LIST", 400, list);           // cut short
    files[1].raw({'L', 'I', 'S'});               // half a header
    files[2].chunk("JUNK", 0xFFFFFFF0, {1, 2});  // past the end
    files[3].chunk("LIST", 0x7FFFFFFF, list);    // too large to be read
    for (const WavFile& file : files) {
        const TaggedRun tagged = run_with_tags(file);
        const WavRun plain = run_wav_reader(file);
        EXPECT_TRUE(tagged.run.ok) << tagged.run.error;
        EXPECT_EQ(tagged.run.error, plain.error);
        EXPECT_EQ(tagged.run.recorder.blocks, plain.recorder.blocks);
        EXPECT_TRUE(tagged.tags.tags.empty());
    }
}

// Before the audio a LIST chunk is walked past as any chunk is: the same
// files fail with the same messages with or without the tags.
TEST(WavInfo, AcceptanceIsUnchanged) {
    const Bytes list = list_of("INFO", {{"INAM", text("T")}});
    std::vector<WavFile> files(5);
    files[0].chunk("fmt ", kStereoFmt).chunk("LIST", 400, list);
    files[1].chunk("LIST", list).chunk("data", kFrames).chunk("fmt ", kStereoFmt);
    files[2].chunk("fmt ", kStereoFmt).chunk("LIST", list).chunk("data", 7, Bytes(7, 0));
    files[3].chunk("LIST", list).chunk("fmt ", kStereoFmt).chunk("data", 12, Bytes(4, 0));
    files[4].chunk("fmt ", kStereoFmt).chunk("LIST", 0xFFFFFFFF, list).chunk("data", kFrames);
    for (const WavFile& file : files) {
        const TaggedRun tagged = run_with_tags(file);
        const WavRun plain = run_wav_reader(file);
        EXPECT_FALSE(plain.ok);
        EXPECT_EQ(tagged.run.ok, plain.ok);
        EXPECT_EQ(tagged.run.error, plain.error);
        EXPECT_EQ(tagged.run.recorder.blocks, plain.recorder.blocks);
    }
}

}  // namespace
}  // namespace qv::test
