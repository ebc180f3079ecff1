// The FLAC reader's tags: the mirror of libFLAC's metadata record against
// the real one, the metadata callback over records libFLAC itself builds,
// and whole files with comment and picture blocks, through libraries with
// and without the metadata export.
#include "input/flac_metadata.h"

#include <FLAC/metadata.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "input/flac_decode_state.h"
#include "input/flac_fixture.h"
#include "input/flac_reader.h"
#include "input/wav_fixture.h"

namespace qv::test {
namespace {

TEST(FlacMetadataLayout, MirrorsLibFlacsRecord) {
    EXPECT_EQ(offsetof(FlacStreamMetadata, type), offsetof(FLAC__StreamMetadata, type));
    EXPECT_EQ(offsetof(FlacStreamMetadata, is_last), offsetof(FLAC__StreamMetadata, is_last));
    EXPECT_EQ(offsetof(FlacStreamMetadata, length), offsetof(FLAC__StreamMetadata, length));
    EXPECT_EQ(offsetof(FlacStreamMetadata, data), offsetof(FLAC__StreamMetadata, data));
    EXPECT_EQ(sizeof(FlacCommentEntry), sizeof(FLAC__StreamMetadata_VorbisComment_Entry));
    EXPECT_EQ(offsetof(FlacCommentEntry, entry),
              offsetof(FLAC__StreamMetadata_VorbisComment_Entry, entry));
    EXPECT_EQ(offsetof(FlacVorbisComment, num_comments),
              offsetof(FLAC__StreamMetadata_VorbisComment, num_comments));
    EXPECT_EQ(offsetof(FlacVorbisComment, comments),
              offsetof(FLAC__StreamMetadata_VorbisComment, comments));
    EXPECT_EQ(offsetof(FlacPicture, type), offsetof(FLAC__StreamMetadata_Picture, type));
    EXPECT_EQ(offsetof(FlacPicture, data_length),
              offsetof(FLAC__StreamMetadata_Picture, data_length));
    EXPECT_EQ(offsetof(FlacPicture, data), offsetof(FLAC__StreamMetadata_Picture, data));
    EXPECT_EQ(flac_metadata_vorbis_comment, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    EXPECT_EQ(flac_metadata_picture, FLAC__METADATA_TYPE_PICTURE);
}

void append_comment(FLAC__StreamMetadata* block, const char* text) {
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    entry.length = static_cast<FLAC__uint32>(std::strlen(text));
    entry.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(text));
    ASSERT_TRUE(FLAC__metadata_object_vorbiscomment_append_comment(block, entry, true));
}

FLAC__StreamMetadata* picture_block(uint32_t type, const std::vector<uint8_t>& bytes) {
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE);
    block->data.picture.type = static_cast<FLAC__StreamMetadata_Picture_Type>(type);
    FLAC__metadata_object_picture_set_data(block, const_cast<FLAC__byte*>(bytes.data()),
                                           static_cast<FLAC__uint32>(bytes.size()), true);
    return block;
}

const std::vector<uint8_t> kJpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0x20};
const std::vector<uint8_t> kPng{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0x00};

TEST(FlacMetadataCallback, TakesCommentsAndTheFrontCover) {
    InputTags tags;
    FlacDecodeState state;
    state.tags = &tags;
    FLAC__StreamMetadata* comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    append_comment(comments, "TITLE=Song");
    append_comment(comments, "Artist=A=B");
    append_comment(comments, "EMPTY=");
    FLAC__StreamMetadata* other = picture_block(4, kPng);
    FLAC__StreamMetadata* front = picture_block(3, kJpeg);
    FLAC__StreamMetadata* info = FLAC__metadata_object_new(FLAC__METADATA_TYPE_STREAMINFO);
    for (const FLAC__StreamMetadata* block : {info, other, comments, front}) {
        flac_metadata_callback(nullptr, block, &state);
    }
    ASSERT_EQ(tags.tags.size(), 3u);
    EXPECT_EQ(tags.tags[0].name, "TITLE");
    EXPECT_EQ(tags.tags[0].value, "Song");
    EXPECT_EQ(tags.tags[1].name, "Artist");
    EXPECT_EQ(tags.tags[1].label, "Artist");
    EXPECT_EQ(tags.tags[1].value, "A=B");
    EXPECT_EQ(tags.tags[2].value, "");
    EXPECT_EQ(tags.picture, kJpeg);
    for (FLAC__StreamMetadata* block : {info, other, comments, front}) {
        FLAC__metadata_object_delete(block);
    }
}

// Blocks put in right after STREAMINFO, each header with its is_last bit.
std::vector<uint8_t> with_blocks(std::vector<uint8_t> flac,
                                 const std::vector<FLAC__StreamMetadata*>& blocks) {
    constexpr size_t streaminfo_end = 4 + 4 + 34;
    const bool info_was_last = (flac[4] & 0x80) != 0;
    flac[4] &= 0x7F;
    std::vector<uint8_t> inserted;
    for (size_t i = 0; i < blocks.size(); ++i) {
        // Serialised by hand, in the block layout of the FLAC format.
        const FLAC__StreamMetadata* block = blocks[i];
        std::vector<uint8_t> body;
        auto u32be = [&body](uint32_t v) {
            for (int s = 24; s >= 0; s -= 8) body.push_back(uint8_t(v >> s));
        };
        auto u32le = [&body](uint32_t v) {
            for (int s = 0; s <= 24; s += 8) body.push_back(uint8_t(v >> s));
        };
        if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
            const auto& vc = block->data.vorbis_comment;
            u32le(vc.vendor_string.length);
            body.insert(body.end(), vc.vendor_string.entry,
                        vc.vendor_string.entry + vc.vendor_string.length);
            u32le(vc.num_comments);
            for (uint32_t c = 0; c < vc.num_comments; ++c) {
                u32le(vc.comments[c].length);
                body.insert(body.end(), vc.comments[c].entry,
                            vc.comments[c].entry + vc.comments[c].length);
            }
        } else {
            const auto& p = block->data.picture;
            u32be(p.type);
            u32be(static_cast<uint32_t>(std::strlen(p.mime_type)));
            body.insert(body.end(), p.mime_type, p.mime_type + std::strlen(p.mime_type));
            u32be(0);  // description
            for (int k = 0; k < 4; ++k) u32be(0);
            u32be(p.data_length);
            body.insert(body.end(), p.data, p.data + p.data_length);
        }
        const bool last = info_was_last && i + 1 == blocks.size();
        inserted.push_back(uint8_t((last ? 0x80 : 0) | block->type));
        inserted.push_back(uint8_t(body.size() >> 16));
        inserted.push_back(uint8_t(body.size() >> 8));
        inserted.push_back(uint8_t(body.size()));
        inserted.insert(inserted.end(), body.begin(), body.end());
    }
    flac.insert(flac.begin() + streaminfo_end, inserted.begin(), inserted.end());
    return flac;
}

class FlacTagFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(flac_library_available(system_flac())) << system_flac()->reason;
        signal_ = make_signal(2, 16, 5000);
        FLAC__StreamMetadata* comments =
            FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        append_comment(comments, "TITLE=Song");
        append_comment(comments, "REPLAYGAIN_TRACK_GAIN=-1.00 dB");
        FLAC__StreamMetadata* cover = picture_block(3, kPng);
        path_ = test_directory() / "tagged.flac";
        write_bytes(path_, with_blocks(encode_flac(signal_).bytes, {comments, cover}));
        FLAC__metadata_object_delete(comments);
        FLAC__metadata_object_delete(cover);
    }

    FlacRun read(const FlacLibrary& library, InputTags* tags) {
        FlacRun run;
        run.recorder.format = &run.format;
        run.ok = read_flac_input(&library, path_, run.format, &PcmRecorder::consume, &run.recorder,
                                 run.error, tags);
        return run;
    }

    PcmSignal signal_;
    std::filesystem::path path_;
};

TEST_F(FlacTagFiles, TagsAndPictureComeWithTheAudio) {
    for (const bool own_reads : {true, false}) {
        FlacLibrary library = *system_flac();
        library.module = nullptr;  // a copy: never released
        if (!own_reads) {
            library.functions.stream_decoder_init_stream = nullptr;
        }
        InputTags tags;
        const FlacRun run = read(library, &tags);
        ASSERT_TRUE(run.ok) << run.error;
        EXPECT_TRUE(same_samples(run.recorder, signal_));
        ASSERT_EQ(tags.tags.size(), 2u);
        EXPECT_EQ(tags.tags[1].name, "REPLAYGAIN_TRACK_GAIN");
        EXPECT_EQ(tags.tags[1].value, "-1.00 dB");
        EXPECT_EQ(tags.picture, kPng);
    }
}

TEST_F(FlacTagFiles, WithoutTheMetadataExportTheAudioStillDecodes) {
    FlacLibrary library = *system_flac();
    library.module = nullptr;
    library.functions.stream_decoder_set_metadata_respond = nullptr;
    InputTags tags;
    const FlacRun run = read(library, &tags);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_TRUE(same_samples(run.recorder, signal_));
    EXPECT_TRUE(tags.tags.empty());
    EXPECT_FALSE(tags.picture_seen);
}

TEST_F(FlacTagFiles, NoTagsWantedNoneTaken) {
    const FlacRun run = read(*system_flac(), nullptr);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_TRUE(same_samples(run.recorder, signal_));
}

}  // namespace
}  // namespace qv::test
