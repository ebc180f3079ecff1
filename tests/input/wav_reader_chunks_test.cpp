// File header, chunk walk, ds64 and data size rules.
#include <gtest/gtest.h>

#include "input/wav_fixture.h"

namespace qv::test {
namespace {

const Bytes kStereoFmt = fmt_body(pcm_fmt(2, 16));
const Bytes kFrames = pcm_bytes({100, -100, 200, -200, 300, -300}, 16, 16);

TEST(WavChunks, MissingFile) {
    const WavRun run = run_wav_reader_on(test_directory() / "absent.wav");
    expect_header_failure(run, "could not open WAV/RF64 input");
}

TEST(WavChunks, FileHeader) {
    const Bytes good = simple_wav(pcm_fmt(2, 16), kFrames).bytes();
    for (size_t length : {0, 1, 4, 11}) {
        expect_header_failure(run_wav_reader(Bytes(good.begin(), good.begin() + length)),
                              "input is not a RIFF/RF64 WAVE file");
    }
    for (const char* form : {"RIFX", "riff", "RF46", "FORM"}) {
        WavFile file(form);
        file.chunk("fmt ", kStereoFmt).chunk("data", kFrames);
        expect_header_failure(run_wav_reader(file), "input is not a RIFF/RF64 WAVE file");
    }
    WavFile avi("RIFF", "AVI ");
    avi.chunk("fmt ", kStereoFmt).chunk("data", kFrames);
    expect_header_failure(run_wav_reader(avi), "input is not a RIFF/RF64 WAVE file");

    // The form size is never used, and RF64 needs no ds64 when the data size fits.
    WavFile odd_size;
    odd_size.chunk("fmt ", kStereoFmt).chunk("data", kFrames).form_size(3);
    EXPECT_TRUE(run_wav_reader(odd_size).ok);
    WavFile rf64("RF64");
    rf64.chunk("fmt ", kStereoFmt).chunk("data", kFrames);
    const WavRun run = run_wav_reader(rf64);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.total_frames, 3u);
}

TEST(WavChunks, NoUsableDataChunk) {
    expect_header_failure(run_wav_reader(WavFile()), "WAV/RF64 input has no usable PCM data chunk");
    WavFile fmt_only;
    fmt_only.chunk("fmt ", kStereoFmt);
    expect_header_failure(run_wav_reader(fmt_only), "WAV/RF64 input has no usable PCM data chunk");
    WavFile partial_header;
    partial_header.chunk("fmt ", kStereoFmt).raw({'d', 'a', 't', 'a', 8, 0});
    expect_header_failure(run_wav_reader(partial_header),
                          "WAV/RF64 input has no usable PCM data chunk");

    // A chunk claiming 4 GiB skips past the end of the file; no wrap-around
    // brings the walk back to the data chunk behind it.
    WavFile huge;
    huge.chunk("fmt ", kStereoFmt).chunk("JUNK", 0xFFFFFFFF, {}).chunk("data", kFrames);
    expect_header_failure(run_wav_reader(huge), "WAV/RF64 input has no usable PCM data chunk");
    WavFile nearly_wrapping;
    nearly_wrapping.chunk("fmt ", kStereoFmt).chunk("JUNK", 0xFFFFFFF7, {}).chunk("data", kFrames);
    expect_header_failure(run_wav_reader(nearly_wrapping),
                          "WAV/RF64 input has no usable PCM data chunk");
}

TEST(WavChunks, DataBeforeFmt) {
    WavFile file;
    file.chunk("data", kFrames).chunk("fmt ", kStereoFmt);
    expect_header_failure(run_wav_reader(file), "WAV data chunk appears before fmt chunk");
    // A bad fmt is reported even when a data chunk would come first otherwise.
    WavFile bad_fmt;
    bad_fmt.chunk("fmt ", fmt_body(pcm_fmt(9, 16))).chunk("data", kFrames);
    expect_header_failure(run_wav_reader(bad_fmt), "WAV channel count must be between 1 and 8");
}

TEST(WavChunks, OddChunkIsSkippedWithItsPadByte) {
    WavFile file;
    file.chunk("JUNK", {0xAA, 0xBB, 0xCC}).chunk("fmt ", kStereoFmt).chunk("LIST", Bytes(5, 'x'));
    file.chunk("fact", {1, 0, 0, 0}).chunk("data", kFrames);
    const WavRun run = run_wav_reader(file);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.recorder.channels[0], (std::vector<int32_t>{100, 200, 300}));

    // Without the pad byte the next header is read one byte late.
    WavFile unpadded;
    unpadded.chunk("JUNK", 3, {0xAA, 0xBB, 0xCC}).chunk("fmt ", kStereoFmt).chunk("data", kFrames);
    EXPECT_FALSE(run_wav_reader(unpadded).ok);
}

TEST(WavChunks, MalformedListAfterDataIsNeverRead) {
    WavFile file = simple_wav(pcm_fmt(2, 16), kFrames);
    file.chunk("LIST", 0xFFFFFFF0, {'I', 'N', 'F', 'O', 0xFF, 0xFF, 0xFF});
    const WavRun run = run_wav_reader(file);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{3}));
    // Nor is a second fmt chunk after the data.
    WavFile second_fmt = simple_wav(pcm_fmt(2, 16), kFrames);
    second_fmt.chunk("fmt ", fmt_body(pcm_fmt(0, 8)));
    EXPECT_TRUE(run_wav_reader(second_fmt).ok);
}

TEST(WavChunks, Ds64Chunk) {
    WavFile short_ds64;
    short_ds64.chunk("ds64", ds64_body(0, 12, 3, 27))
        .chunk("fmt ", kStereoFmt)
        .chunk("data", kFrames);
    expect_header_failure(run_wav_reader(short_ds64), "RF64 ds64 chunk is invalid");
    WavFile short_rf64("RF64");
    short_rf64.chunk("ds64", ds64_body(0, 12, 3, 0))
        .chunk("fmt ", kStereoFmt)
        .chunk("data", kFrames);
    expect_header_failure(run_wav_reader(short_rf64), "RF64 ds64 chunk is invalid");

    WavFile truncated("RF64");
    truncated.chunk("ds64", 28, Bytes(27, 0));
    expect_header_failure(run_wav_reader(truncated), "truncated RF64 ds64 chunk");
    // Only the first 64 bytes are read; the rest of a long chunk is skipped.
    WavFile long_cut("RF64");
    long_cut.chunk("ds64", 1000, ds64_body(0, 12, 3, 64));
    expect_header_failure(run_wav_reader(long_cut), "WAV/RF64 input has no usable PCM data chunk");
    WavFile long_table("RF64");
    long_table.chunk("ds64", ds64_body(0, 12, 3, 101)).chunk("fmt ", kStereoFmt);
    long_table.chunk("data", 0xFFFFFFFF, kFrames);
    const WavRun run = run_wav_reader(long_table);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.total_frames, 3u);
}

// 24-bit mono: 0xFFFFFFFF is a whole number of 3-byte frames, so a size
// taken unchanged shows up as 0x55555555 frames and a truncation.
TEST(WavChunks, DataSizeFromDs64) {
    const Bytes mono24 = fmt_body(pcm_fmt(1, 24));
    const Bytes samples = pcm_bytes({-8388608, 0, 8388607, 5}, 24, 24);
    for (const char* form : {"RF64", "RIFF"}) {
        WavFile file(form);
        file.chunk("ds64", ds64_body(0, 12, 4))
            .chunk("fmt ", mono24)
            .chunk("data", 0xFFFFFFFF, samples);
        const WavRun run = run_wav_reader(file);
        SCOPED_TRACE(form);
        if (std::string(form) == "RF64") {
            ASSERT_TRUE(run.ok) << run.error;
            EXPECT_EQ(run.format.total_frames, 4u);
            EXPECT_EQ(run.recorder.channels[0], (std::vector<int32_t>{-8388608, 0, 8388607, 5}));
        } else {
            EXPECT_FALSE(run.ok);
            EXPECT_EQ(run.error, "truncated WAV PCM data");
            EXPECT_EQ(run.format.total_frames, 0x55555555u);
            EXPECT_TRUE(run.recorder.blocks.empty());
        }
    }
    WavFile zero_value("RF64");
    zero_value.chunk("ds64", ds64_body(0, 0, 4))
        .chunk("fmt ", mono24)
        .chunk("data", 0xFFFFFFFF, samples);
    const WavRun zero = run_wav_reader(zero_value);
    EXPECT_EQ(zero.error, "truncated WAV PCM data");
    EXPECT_EQ(zero.format.total_frames, 0x55555555u);

    // A 32-bit size other than 0xFFFFFFFF stands even with a ds64 value.
    WavFile plain_size("RF64");
    plain_size.chunk("ds64", ds64_body(0, 12, 4)).chunk("fmt ", mono24).chunk("data", 6, samples);
    const WavRun plain = run_wav_reader(plain_size);
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(plain.format.total_frames, 2u);

    // A 64-bit size beyond 4 GiB: the frame count is taken as declared.
    WavFile big("RF64");
    big.chunk("ds64", ds64_body(0, uint64_t(3) << 40, 0))
        .chunk("fmt ", mono24)
        .chunk("data", 0xFFFFFFFF, samples);
    const WavRun huge = run_wav_reader(big);
    EXPECT_EQ(huge.error, "truncated WAV PCM data");
    EXPECT_EQ(huge.format.total_frames, uint64_t(1) << 40);
}

TEST(WavChunks, EmptyDataChunkEndsTheSearch) {
    WavFile file;
    file.chunk("fmt ", kStereoFmt).chunk("data", {}).chunk("data", kFrames);
    expect_header_failure(run_wav_reader(file), "WAV/RF64 input has no usable PCM data chunk");
    WavFile rf64("RF64");
    rf64.chunk("ds64", ds64_body(0, 0, 0))
        .chunk("fmt ", kStereoFmt)
        .chunk("data", {})
        .chunk("data", kFrames);
    expect_header_failure(run_wav_reader(rf64), "WAV/RF64 input has no usable PCM data chunk");
}

TEST(WavChunks, DataSizeOfIncompleteFrames) {
    for (uint32_t size : {11u, 13u, 1u, 2u}) {
        WavFile file;
        file.chunk("fmt ", kStereoFmt).chunk("data", size, kFrames);
        SCOPED_TRACE(size);
        expect_header_failure(run_wav_reader(file),
                              "WAV data size is not aligned to complete sample frames");
    }
    WavFile ds64("RF64");
    ds64.chunk("ds64", ds64_body(0, 4097, 0))
        .chunk("fmt ", kStereoFmt)
        .chunk("data", 0xFFFFFFFF, kFrames);
    expect_header_failure(run_wav_reader(ds64),
                          "WAV data size is not aligned to complete sample frames");
}

}  // namespace
}  // namespace qv::test
