// fmt chunk parsing: sizes, the extensible layout, and the order in which the
// format checks decide the message.
#include <gtest/gtest.h>

#include "input/wav_fixture.h"

namespace qv::test {
namespace {

const Bytes kFrames = pcm_bytes({1, -1, 2, -2}, 16, 16);

WavRun run_fmt(const FmtFields& fmt) { return run_wav_reader(simple_wav(fmt, kFrames)); }

TEST(WavFmt, EighteenBytePcmChunkIsAccepted) {
    FmtFields fmt = pcm_fmt(2, 16);
    fmt.size = 18;
    const WavRun run = run_fmt(fmt);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.total_frames, 2u);
    EXPECT_EQ(run.recorder.channels[1], (std::vector<int32_t>{-1, -2}));
}

TEST(WavFmt, ChunkOf65536BytesIsReadAndOneMoreIsRefusedBeforeReading) {
    FmtFields fmt = pcm_fmt(2, 16);
    fmt.size = 65536;
    const WavRun big = run_fmt(fmt);
    ASSERT_TRUE(big.ok) << big.error;
    EXPECT_EQ(big.recorder.blocks, (std::vector<uint32_t>{2}));

    // Cut inside the body: the 65536-byte chunk is read, so it is truncated.
    Bytes cut = simple_wav(fmt, kFrames).bytes();
    cut.resize(12 + 8 + 1000);
    expect_header_failure(run_wav_reader(cut), "truncated WAV fmt chunk");

    // A body too short for its size, but the size decides first.
    WavFile oversized;
    oversized.chunk("fmt ", 65537, fmt_body(pcm_fmt(2, 16)));
    expect_header_failure(run_wav_reader(oversized), "WAV fmt chunk is unreasonably large");
    fmt.size = 65537;
    expect_header_failure(run_fmt(fmt), "WAV fmt chunk is unreasonably large");
}

TEST(WavFmt, ShortAndTruncatedChunks) {
    FmtFields fmt = pcm_fmt(2, 16);
    fmt.size = 14;
    expect_header_failure(run_fmt(fmt), "WAV fmt chunk is too short");
    fmt.size = 0;
    expect_header_failure(run_fmt(fmt), "WAV fmt chunk is too short");

    // A 14-byte chunk at the end of a file holding 10 of its bytes is
    // truncated before it is too short.
    WavFile cut;
    cut.chunk("fmt ", 14, Bytes(10, 0));
    expect_header_failure(run_wav_reader(cut), "truncated WAV fmt chunk");
}

TEST(WavFmt, FormatTags) {
    FmtFields fmt = pcm_fmt(2, 16);
    for (uint16_t tag : {0, 2, 3, 6, 7, 0xFFFD, 0xFFFF}) {
        fmt.format_tag = tag;
        expect_header_failure(run_fmt(fmt), "WAV input is not integer PCM");
    }
}

TEST(WavFmt, ExtensibleLayout) {
    FmtFields fmt = extensible_fmt(2, 24, 20);
    fmt.size = 39;
    expect_header_failure(run_fmt(fmt), "WAVEFORMATEXTENSIBLE fmt chunk is incomplete");
    fmt.size = 16;
    expect_header_failure(run_fmt(fmt), "WAVEFORMATEXTENSIBLE fmt chunk is incomplete");
    fmt.size = 40;
    fmt.extension_size = 21;
    expect_header_failure(run_fmt(fmt), "WAVEFORMATEXTENSIBLE fmt chunk is incomplete");

    fmt.extension_size = 22;
    fmt.sub_format = 3;  // IEEE float
    expect_header_failure(run_fmt(fmt), "WAVEFORMATEXTENSIBLE input is not integer PCM");
    fmt.sub_format = 0x101;
    expect_header_failure(run_fmt(fmt), "WAVEFORMATEXTENSIBLE input is not integer PCM");

    // Only the first four GUID bytes count; a longer chunk is fine.
    fmt.sub_format = 1;
    fmt.size = 48;
    Bytes body = fmt_body(fmt);
    body[30] = 0x5A;
    WavFile file;
    file.chunk("fmt ", body).chunk("data", pcm_bytes({1, 2}, 24, 20));
    const WavRun run = run_wav_reader(file);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.bits_per_sample, 20u);
}

TEST(WavFmt, FieldRanges) {
    struct Case {
        void (*change)(FmtFields&);
        const char* message;
    };
    const Case cases[] = {
        {[](FmtFields& f) { f.channels = 0; }, "WAV channel count must be between 1 and 8"},
        {[](FmtFields& f) { f.channels = 9; }, "WAV channel count must be between 1 and 8"},
        {[](FmtFields& f) { f.sample_rate = 0; }, "WAV sample rate is invalid"},
        {[](FmtFields& f) { f.bits_per_sample = 8; },
         "RO-ZOZA accepts 16, 24 or 32-bit PCM containers"},
        {[](FmtFields& f) { f.bits_per_sample = 20; },
         "RO-ZOZA accepts 16, 24 or 32-bit PCM containers"},
        {[](FmtFields& f) { f.bits_per_sample = 40; },
         "RO-ZOZA accepts 16, 24 or 32-bit PCM containers"},
        {[](FmtFields& f) { f.valid_bits = 0; }, "RO-ZOZA accepts 16, 20, 24 or 32 valid PCM bits"},
        {[](FmtFields& f) { f.valid_bits = 18; },
         "RO-ZOZA accepts 16, 20, 24 or 32 valid PCM bits"},
        {[](FmtFields& f) { f.valid_bits = 8; }, "RO-ZOZA accepts 16, 20, 24 or 32 valid PCM bits"},
        {[](FmtFields& f) { f.valid_bits = 32; }, "WAV valid bit depth exceeds its PCM container"},
        {[](FmtFields& f) { f.block_align = 7; },
         "WAV block alignment is inconsistent with its PCM format"},
        {[](FmtFields& f) { f.block_align = 0; },
         "WAV block alignment is inconsistent with its PCM format"},
    };
    for (const Case& c : cases) {
        FmtFields fmt = extensible_fmt(2, 24, 24);
        c.change(fmt);
        SCOPED_TRACE(c.message);
        expect_header_failure(run_fmt(fmt), c.message);
    }
}

// Starting from a chunk where every check fails, mending one field at a time
// walks through the messages in check order.
TEST(WavFmt, ChecksRunInOrder) {
    FmtFields fmt = extensible_fmt(0, 40, 33);
    fmt.sample_rate = 0;
    fmt.block_align = 1;
    fmt.sub_format = 3;
    fmt.extension_size = 0;
    fmt.size = 12;
    struct Step {
        void (*mend)(FmtFields&);
        const char* message;
    };
    const Step steps[] = {
        {[](FmtFields&) {}, "WAV fmt chunk is too short"},
        {[](FmtFields& f) { f.size = 36; }, "WAVEFORMATEXTENSIBLE fmt chunk is incomplete"},
        {[](FmtFields& f) { f.size = 40; }, "WAVEFORMATEXTENSIBLE fmt chunk is incomplete"},
        {[](FmtFields& f) { f.extension_size = 22; },
         "WAVEFORMATEXTENSIBLE input is not integer PCM"},
        {[](FmtFields& f) { f.sub_format = 1; }, "WAV channel count must be between 1 and 8"},
        {[](FmtFields& f) { f.channels = 3; }, "WAV sample rate is invalid"},
        {[](FmtFields& f) { f.sample_rate = 96000; },
         "RO-ZOZA accepts 16, 24 or 32-bit PCM containers"},
        {[](FmtFields& f) { f.bits_per_sample = 24; },
         "RO-ZOZA accepts 16, 20, 24 or 32 valid PCM bits"},
        {[](FmtFields& f) { f.valid_bits = 32; }, "WAV valid bit depth exceeds its PCM container"},
        {[](FmtFields& f) { f.valid_bits = 20; },
         "WAV block alignment is inconsistent with its PCM format"},
    };
    for (const Step& step : steps) {
        step.mend(fmt);
        SCOPED_TRACE(step.message);
        expect_header_failure(run_fmt(fmt), step.message);
    }
    fmt.block_align = 9;
    const WavRun run = run_wav_reader(simple_wav(fmt, pcm_bytes({1, 2, 3}, 24, 20)));
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.channels, 3u);
    EXPECT_EQ(run.format.sample_rate, 96000u);
}

TEST(WavFmt, LaterChunkReplacesEarlierOne) {
    WavFile file;
    file.chunk("fmt ", fmt_body(pcm_fmt(2, 16)))
        .chunk("fmt ", fmt_body(extensible_fmt(1, 32, 24, 22050)))
        .chunk("data", pcm_bytes({-8388608, 8388607}, 32, 24, 0xFF));
    const WavRun run = run_wav_reader(file);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.channels, 1u);
    EXPECT_EQ(run.format.sample_rate, 22050u);
    EXPECT_EQ(run.format.bits_per_sample, 24u);
    EXPECT_EQ(run.recorder.channels[0], (std::vector<int32_t>{-8388608, 8388607}));

    WavFile bad_second;
    bad_second.chunk("fmt ", fmt_body(pcm_fmt(2, 16))).chunk("fmt ", fmt_body(pcm_fmt(2, 8)));
    bad_second.chunk("data", kFrames);
    expect_header_failure(run_wav_reader(bad_second),
                          "RO-ZOZA accepts 16, 24 or 32-bit PCM containers");
}

}  // namespace
}  // namespace qv::test
