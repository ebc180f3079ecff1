// Sample conversion for every accepted (container, valid bits) pair, block
// sizes, truncated data and a refusing consumer.
#include <gtest/gtest.h>

#include "input/wav_fixture.h"

namespace qv::test {
namespace {

struct Pair {
    uint16_t container;
    uint16_t valid;
};

void PrintTo(const Pair& pair, std::ostream* os) { *os << pair.container << "/" << pair.valid; }

class WavPairs : public ::testing::TestWithParam<Pair> {};

// Extremes and their neighbours of the valid range, per channel in a
// different order so that a channel mix-up shows.
TEST_P(WavPairs, ExtremeValuesArriveRightJustified) {
    const Pair pair = GetParam();
    const int64_t max = (int64_t(1) << (pair.valid - 1)) - 1;
    const int64_t min = -max - 1;
    const std::vector<int32_t> values = {int32_t(min),     int32_t(max),    0, -1, 1,
                                         int32_t(min + 1), int32_t(max - 1)};
    std::vector<int32_t> interleaved;
    for (size_t i = 0; i < values.size(); ++i) {
        interleaved.push_back(values[i]);
        interleaved.push_back(values[values.size() - 1 - i]);
        interleaved.push_back(int32_t(i));
    }
    // Padding bits all set: they must not leak into the value.
    const Bytes data = pcm_bytes(interleaved, pair.container, pair.valid, 0xFFFFFFFF);
    FmtFields fmt = pair.container == pair.valid
                        ? pcm_fmt(3, pair.container, 88200)
                        : extensible_fmt(3, pair.container, pair.valid, 88200);
    const WavRun run = run_wav_reader(simple_wav(fmt, data));
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.bits_per_sample, pair.valid);
    EXPECT_EQ(run.format.channels, 3u);
    EXPECT_EQ(run.format.sample_rate, 88200u);
    EXPECT_EQ(run.format.total_frames, values.size());
    EXPECT_TRUE(PcmRecorder::same(run.recorder.first_format, run.format));
    ASSERT_EQ(run.recorder.channels.size(), 3u);
    EXPECT_EQ(run.recorder.channels[0], values);
    EXPECT_EQ(run.recorder.channels[1], std::vector<int32_t>(values.rbegin(), values.rend()));
    EXPECT_EQ(run.recorder.channels[2], (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
}

INSTANTIATE_TEST_SUITE_P(Accepted, WavPairs,
                         ::testing::Values(Pair{16, 16}, Pair{24, 16}, Pair{24, 20}, Pair{24, 24},
                                           Pair{32, 16}, Pair{32, 20}, Pair{32, 24}, Pair{32, 32}),
                         [](const auto& info) {
                             return std::to_string(info.param.container) + "_" +
                                    std::to_string(info.param.valid);
                         });

TEST(WavDelivery, PlainPcmWithFewerValidBitsIsItsContainer) {
    // Format tag 1 ignores the valid-bits field: 24-bit PCM stays 24-bit.
    FmtFields fmt = pcm_fmt(1, 24);
    fmt.size = 40;
    fmt.valid_bits = 20;
    const WavRun run = run_wav_reader(simple_wav(fmt, pcm_bytes({8388607, -8388608}, 24, 24)));
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.format.bits_per_sample, 24u);
    EXPECT_EQ(run.recorder.channels[0], (std::vector<int32_t>{8388607, -8388608}));
}

std::vector<int32_t> ramp(size_t frames, uint32_t channels) {
    std::vector<int32_t> out;
    for (size_t i = 0; i < frames; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            out.push_back(int32_t((i * 37 + c * 1000) % 65536) - 32768);
        }
    }
    return out;
}

std::vector<int32_t> channel_of(const std::vector<int32_t>& interleaved, uint32_t channels,
                                uint32_t c, size_t frames) {
    std::vector<int32_t> out;
    for (size_t i = 0; i < frames; ++i) {
        out.push_back(interleaved[i * channels + c]);
    }
    return out;
}

TEST(WavDelivery, BlocksOf4096WithTheRemainderLast) {
    for (uint32_t channels : {1u, 2u, 6u, 8u}) {
        const std::vector<int32_t> samples = ramp(10000, channels);
        const WavRun run =
            run_wav_reader(simple_wav(pcm_fmt(uint16_t(channels), 16), pcm_bytes(samples, 16, 16)));
        SCOPED_TRACE(channels);
        ASSERT_TRUE(run.ok) << run.error;
        EXPECT_EQ(run.format.total_frames, 10000u);
        EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4096, 4096, 1808}));
        EXPECT_FALSE(run.recorder.format_changed);
        for (uint32_t c = 0; c < channels; ++c) {
            EXPECT_EQ(run.recorder.channels[c], channel_of(samples, channels, c, 10000));
        }
    }
    const WavRun exact =
        run_wav_reader(simple_wav(pcm_fmt(2, 24), pcm_bytes(ramp(8192, 2), 24, 24)));
    ASSERT_TRUE(exact.ok) << exact.error;
    EXPECT_EQ(exact.recorder.blocks, (std::vector<uint32_t>{4096, 4096}));
    const WavRun single = run_wav_reader(simple_wav(pcm_fmt(8, 32), pcm_bytes(ramp(1, 8), 32, 32)));
    ASSERT_TRUE(single.ok) << single.error;
    EXPECT_EQ(single.recorder.blocks, (std::vector<uint32_t>{1}));
}

TEST(WavDelivery, DataChunkLongerThanTheFile) {
    const std::vector<int32_t> samples = ramp(5000, 2);
    WavFile file;
    file.chunk("fmt ", fmt_body(pcm_fmt(2, 16))).chunk("data", 40000, pcm_bytes(samples, 16, 16));
    const WavRun run = run_wav_reader(file);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, "truncated WAV PCM data");
    EXPECT_EQ(run.format.total_frames, 10000u);
    EXPECT_EQ(run.recorder.blocks, (std::vector<uint32_t>{4096}));
    EXPECT_EQ(run.recorder.channels[1], channel_of(samples, 2, 1, 4096));

    // The last block one byte short is not delivered either.
    WavFile one_short;
    Bytes data = pcm_bytes(ramp(4100, 2), 16, 16);
    data.pop_back();
    one_short.chunk("fmt ", fmt_body(pcm_fmt(2, 16))).chunk("data", 4100 * 4, data);
    const WavRun cut = run_wav_reader(one_short);
    EXPECT_EQ(cut.error, "truncated WAV PCM data");
    EXPECT_EQ(cut.recorder.blocks, (std::vector<uint32_t>{4096}));
}

TEST(WavDelivery, ConsumerRefusal) {
    const WavFile file = simple_wav(pcm_fmt(2, 16), pcm_bytes(ramp(10000, 2), 16, 16));
    const WavRun first = run_wav_reader(file, 0);
    EXPECT_FALSE(first.ok);
    EXPECT_EQ(first.error, "WAV decode was aborted by the PCM consumer");
    EXPECT_EQ(first.recorder.blocks, (std::vector<uint32_t>{4096}));
    const WavRun second = run_wav_reader(file, 1);
    EXPECT_EQ(second.error, "WAV decode was aborted by the PCM consumer");
    EXPECT_EQ(second.recorder.blocks, (std::vector<uint32_t>{4096, 4096}));
    // A refusal of the last block still fails the read.
    const WavRun last = run_wav_reader(file, 2);
    EXPECT_FALSE(last.ok);
    EXPECT_EQ(last.recorder.blocks.size(), 3u);
}

TEST(WavDelivery, SuccessClearsTheErrorText) {
    const WavRun run = run_wav_reader(simple_wav(pcm_fmt(1, 16), pcm_bytes({1}, 16, 16)));
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.error, "");
}

}  // namespace
}  // namespace qv::test
