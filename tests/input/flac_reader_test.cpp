// The FLAC reader over files made by libFLAC's encoder, decoded by the
// installed libFLAC: sample exactness, refused formats, damaged and
// unusual files.
#include <gtest/gtest.h>

#include <tuple>

#include "input/flac_fixture.h"
#include "input/wav_fixture.h"

namespace qv::test {
namespace {

constexpr size_t kFrames = 10000;  // three FLAC frames of 4096, 4096 and 1808

class FlacReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(flac_library_available(system_flac())) << system_flac()->reason;
    }
};

class FlacLayouts : public FlacReaderTest,
                    public ::testing::WithParamInterface<std::tuple<uint32_t, uint32_t>> {};

TEST_P(FlacLayouts, DeliversEveryFrameExactly) {
    const auto [channels, bits] = GetParam();
    const PcmSignal signal = make_signal(channels, bits, kFrames, 96000, channels * 100 + bits);
    const FlacRun run = run_flac_reader(system_flac(), encode_flac(signal).bytes);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.error, "");
    EXPECT_EQ(run.format.sample_rate, 96000u);
    EXPECT_EQ(run.format.bits_per_sample, bits);
    EXPECT_EQ(run.format.channels, channels);
    EXPECT_EQ(run.format.total_frames, kFrames);
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4096, 4096, 1808}));
    EXPECT_FALSE(run.recorder.format_changed);
    EXPECT_TRUE(same_samples(run.recorder, signal));
}

INSTANTIATE_TEST_SUITE_P(ChannelsAndDepths, FlacLayouts,
                         ::testing::Values(std::make_tuple(1u, 16u), std::make_tuple(2u, 16u),
                                           std::make_tuple(2u, 20u), std::make_tuple(2u, 24u),
                                           std::make_tuple(2u, 32u), std::make_tuple(1u, 32u),
                                           std::make_tuple(6u, 16u), std::make_tuple(6u, 20u),
                                           std::make_tuple(6u, 32u), std::make_tuple(8u, 24u)));

// The format is stored before it is judged, and nothing reaches the consumer.
TEST_F(FlacReaderTest, RefusesDepthsTheEncoderCannotTake) {
    for (uint32_t bits : {8u, 12u}) {
        const FlacRun run =
            run_flac_reader(system_flac(), encode_flac(make_signal(2, bits, kFrames)).bytes);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, "FLAC input uses " + std::to_string(bits) +
                                 "-bit PCM; RO-ZOZA accepts 16, 20, 24 or 32-bit input without "
                                 "conversion");
        EXPECT_TRUE(run.recorder.blocks.empty());
        EXPECT_EQ(run.format.bits_per_sample, bits);
        EXPECT_EQ(run.format.channels, 2u);
        EXPECT_EQ(run.format.sample_rate, 44100u);
        EXPECT_EQ(run.format.total_frames, kFrames);
    }
}

TEST_F(FlacReaderTest, MetadataWithoutFramesFailsOnTheDeclaredTotal) {
    EncodedFlac flac = encode_flac(make_signal(2, 16, kFrames));
    flac.bytes.resize(flac.audio_offset());
    const FlacRun run = run_flac_reader(system_flac(), flac.bytes);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: the stream holds 0 sample frames, " +
                             std::to_string(kFrames) + " were declared");
    EXPECT_TRUE(run.recorder.blocks.empty());
    EXPECT_EQ(run.format.total_frames, kFrames);
    EXPECT_EQ(run.format.sample_rate, 0u);
    EXPECT_EQ(run.format.bits_per_sample, 0u);
    EXPECT_EQ(run.format.channels, 0u);
}

TEST_F(FlacReaderTest, StreamWithoutDeclaredTotalDecodes) {
    const PcmSignal signal = make_signal(2, 24, kFrames);
    const FlacRun run = run_flac_reader(system_flac(), encode_flac(signal, {4096, false}).bytes);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.total_frames, 0u);
    EXPECT_TRUE(same_samples(run.recorder, signal));
}

TEST_F(FlacReaderTest, FrameSizesFollowTheStream) {
    const PcmSignal signal = make_signal(1, 16, 1000);
    const FlacRun run = run_flac_reader(system_flac(), encode_flac(signal, {192, true}).bytes);
    ASSERT_TRUE(run.ok) << run.error;
    ASSERT_EQ(run.recorder.blocks.size(), 6u);
    EXPECT_EQ(run.recorder.blocks.back(), 1000u - 5 * 192);
    EXPECT_TRUE(same_samples(run.recorder, signal));
}

// libFLAC reports a damaged frame as a CRC mismatch, then as lost sync while
// it looks for the next frame; the first status names the cause. Nothing
// after the damage reaches the consumer.
TEST_F(FlacReaderTest, DamageInTheMiddleFails) {
    EncodedFlac flac = encode_flac(make_signal(2, 16, kFrames));
    ASSERT_EQ(flac.frame_offsets.size(), 3u);
    const size_t middle = (flac.frame_offsets[1] + flac.frame_offsets[2]) / 2;
    flac.bytes[middle] ^= 0x5A;
    const FlacRun run = run_flac_reader(system_flac(), flac.bytes);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: frame CRC mismatch");
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4096}));
}

TEST_F(FlacReaderTest, DamageWithoutDeclaredTotalFails) {
    EncodedFlac flac = encode_flac(make_signal(2, 16, kFrames), {4096, false});
    const size_t last = flac.frame_offsets.back();
    flac.bytes[(last + flac.bytes.size()) / 2] ^= 0x5A;
    const FlacRun run = run_flac_reader(system_flac(), flac.bytes);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: frame CRC mismatch");
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4096, 4096}));
}

TEST_F(FlacReaderTest, CutInsideAFrameFails) {
    EncodedFlac flac = encode_flac(make_signal(2, 16, kFrames));
    flac.bytes.resize((flac.frame_offsets[1] + flac.frame_offsets[2]) / 2);
    const FlacRun run = run_flac_reader(system_flac(), flac.bytes);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: lost sync");
}

TEST_F(FlacReaderTest, JunkBeforeTheFirstFrameFails) {
    EncodedFlac flac = encode_flac(make_signal(2, 16, kFrames));
    flac.bytes.insert(flac.bytes.begin() + static_cast<ptrdiff_t>(flac.audio_offset()), 100, 0x55);
    const FlacRun run = run_flac_reader(system_flac(), flac.bytes);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode error: lost sync");
    EXPECT_TRUE(run.recorder.blocks.empty());
}

// Bytes after the last declared sample (a tag glued to the file, say) make
// libFLAC report errors that cannot touch the audio.
TEST_F(FlacReaderTest, JunkAfterTheAudioIsTolerated) {
    const PcmSignal signal = make_signal(2, 20, kFrames);
    const EncodedFlac clean = encode_flac(signal);
    std::vector<uint8_t> noise(128);
    uint32_t state = 12345;
    for (uint8_t& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    std::vector<uint8_t> false_sync = noise;  // starts like a frame header
    false_sync[0] = 0xFF;
    false_sync[1] = 0xF8;
    for (const auto& junk : {noise, false_sync}) {
        std::vector<uint8_t> bytes = clean.bytes;
        bytes.insert(bytes.end(), junk.begin(), junk.end());
        const FlacRun run = run_flac_reader(system_flac(), bytes);
        ASSERT_TRUE(run.ok) << run.error;
        EXPECT_TRUE(same_samples(run.recorder, signal));
    }
}

TEST_F(FlacReaderTest, ConsumerRefusingTheThirdFrameStopsThere) {
    const FlacRun run =
        run_flac_reader(system_flac(), encode_flac(make_signal(2, 16, 5 * 4096)).bytes, 2);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "FLAC decode was aborted by the PCM consumer");
    EXPECT_EQ(run.recorder.blocks.size(), 3u);
}

// Frames of a second stream appended to the first: libFLAC decodes them
// with their own format, the reader stops at the first of them.
TEST_F(FlacReaderTest, FormatChangeStopsDecoding) {
    const EncodedFlac first = encode_flac(make_signal(2, 16, kFrames, 44100));
    for (const PcmSignal& other :
         {make_signal(1, 16, kFrames, 44100), make_signal(2, 24, kFrames, 44100),
          make_signal(2, 16, kFrames, 48000)}) {
        const EncodedFlac second = encode_flac(other);
        std::vector<uint8_t> bytes = first.bytes;
        bytes.insert(bytes.end(),
                     second.bytes.begin() + static_cast<ptrdiff_t>(second.audio_offset()),
                     second.bytes.end());
        const FlacRun run = run_flac_reader(system_flac(), bytes);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, "FLAC stream changed its audio format after the first frame");
        EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4096, 4096, 1808}));
        EXPECT_FALSE(run.recorder.format_changed);
    }
}

TEST_F(FlacReaderTest, MetadataFailureNamesTheDecoderState) {
    const FlacRun empty = run_flac_reader(system_flac(), {});
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error, "FLAC metadata decode failed: FLAC__STREAM_DECODER_END_OF_STREAM");
    std::vector<uint8_t> noise(3000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7 + i / 13);
    const FlacRun garbage = run_flac_reader(system_flac(), noise);
    EXPECT_FALSE(garbage.ok);
    EXPECT_EQ(garbage.error.rfind("FLAC metadata decode failed: ", 0), 0u) << garbage.error;
}

TEST_F(FlacReaderTest, MissingFileCannotBeInitialized) {
    const FlacRun run = run_flac_reader_on(system_flac(), test_directory() / "absent.flac");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "libFLAC could not initialize the input file");
}

TEST_F(FlacReaderTest, PathMustBeUtf8) {
    for (const char* name : {"", "bad-\xff.flac"}) {
        const FlacRun run = run_flac_reader_on(system_flac(), name);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, "could not convert FLAC input path to UTF-8");
    }
}

TEST(FlacReaderWithoutLibrary, RefusesToDecode) {
    const std::string message =
        "FLAC input support is unavailable. Place libFLAC.dll beside ro-zoza.exe to enable FLAC "
        "decoding.";
    FlacLibrary unavailable;
    for (const FlacLibrary* library : {static_cast<const FlacLibrary*>(nullptr),
                                       static_cast<const FlacLibrary*>(&unavailable)}) {
        const FlacRun run = run_flac_reader(library, encode_flac(make_signal(1, 16, 10)).bytes);
        EXPECT_FALSE(run.ok);
        EXPECT_EQ(run.error, message);
        EXPECT_TRUE(run.recorder.blocks.empty());
    }
}

}  // namespace
}  // namespace qv::test
