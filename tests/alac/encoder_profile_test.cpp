#include "alac/encoder_profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "alac/golomb.h"
#include "alac/matrix.h"
#include "alac/predictor.h"

namespace qv {
namespace {

class EncoderProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_encoder_profile();
        set_profiling_enabled(true);
    }
    void TearDown() override {
        set_profiling_enabled(false);
        reset_encoder_profile();
    }
    static std::string report() {
        ::testing::internal::CaptureStdout();
        print_encoder_profile();
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
    static StageCounter& stage(EncoderStage s) { return encoder_profile.stages[s]; }
};

TEST_F(EncoderProfileTest, ReportWithNoPackets) {
    const std::string expected =
        "\nRO-ZOZA internal profile (RDTSC cycles; profiling build instrumentation enabled)\n"
        "Stage                            Cycles   % Encode        Calls\n"
        "ALAC encode total                     0      0.00%            0\n"
        "PCM interleave/pack                   0      0.00%            0\n"
        "Stereo matrix (mix16)                 0      0.00%            0\n"
        "Dynamic predictor                     0      0.00%            0\n"
        "Adaptive Golomb                       0      0.00%            0\n"
        "M4A packet sink                       0      0.00%            0\n"
        "Predictor: 0-tap                      0      0.00%            0\n"
        "Predictor: 4-tap                      0      0.00%            0\n"
        "Predictor: 8-tap                      0      0.00%            0\n"
        "Predictor: 31/delta                   0      0.00%            0\n"
        "Predictor: general                    0      0.00%            0\n"
        "Other ALAC encode work                0      0.00%\n"
        "\nPredictor path breakdown\n"
        "Path                             Cycles  % Predictor        Calls\n"
        "Predictor: 0-tap                      0        0.00%            0\n"
        "Predictor: 4-tap                      0        0.00%            0\n"
        "Predictor: 8-tap                      0        0.00%            0\n"
        "Predictor: 31/delta                   0        0.00%            0\n"
        "Predictor: general                    0        0.00%            0\n"
        "Note: stage percentages are diagnostic, not wall-clock benchmark results.\n";
    EXPECT_EQ(report(), expected);
}

TEST_F(EncoderProfileTest, PercentagesAndTheOtherWorkLine) {
    stage(stage_encode_total) = {1000, 3};
    stage(stage_interleave) = {2500, 3};
    stage(stage_mix16) = {100, 18};
    stage(stage_predictor) = {200, 132};
    stage(stage_golomb) = {300, 48};
    stage(stage_predictor_4) = {50, 48};
    stage(stage_predictor_8) = {150, 84};
    const std::string text = report();
    EXPECT_NE(text.find("PCM interleave/pack                2500    250.00%            3\n"),
              std::string::npos);
    EXPECT_NE(text.find("Other ALAC encode work              400     40.00%\n"), std::string::npos);
    EXPECT_NE(text.find("Predictor: 4-tap                     50       25.00%           48\n"),
              std::string::npos);
    EXPECT_NE(text.find("Predictor: 8-tap                    150       75.00%           84\n"),
              std::string::npos);

    stage(stage_encode_total).cycles = 599;
    EXPECT_EQ(report().find("Other ALAC encode work"), std::string::npos);
}

TEST_F(EncoderProfileTest, LargeCountersPrintAsUnsigned) {
    stage(stage_packet_sink) = {0xFFFFFFFFFFFFFFFFull, 1ull << 40};
    EXPECT_NE(
        report().find("M4A packet sink          18446744073709551615      0.00% 1099511627776\n"),
        std::string::npos);
}

TEST_F(EncoderProfileTest, SilentWhenProfilingIsOff) {
    set_profiling_enabled(false);
    EXPECT_EQ(report(), "");
}

TEST_F(EncoderProfileTest, ResetClearsCountersButNotTheFlag) {
    for (StageCounter& s : encoder_profile.stages) s = {5, 6};
    reset_encoder_profile();
    for (const StageCounter& s : encoder_profile.stages) {
        EXPECT_EQ(s.cycles, 0u);
        EXPECT_EQ(s.calls, 0u);
    }
    EXPECT_TRUE(profiling_enabled());
    EXPECT_EQ(encoder_profile.profiling_enabled, 1);
}

TEST_F(EncoderProfileTest, HooksBookTheirStages) {
    std::vector<int32_t> in(64, 0), out(64);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int32_t>(i * i % 17);
    int16_t coefs[16] = {1216, -928, -64};
    for (int32_t order : {0, 4, 8, 8, 31, 5, 12})
        predict_block_timed(in.data(), out.data(), 64, coefs, order, 17, 9);
    EXPECT_EQ(stage(stage_predictor).calls, 7u);
    EXPECT_EQ(stage(stage_predictor_0).calls, 1u);
    EXPECT_EQ(stage(stage_predictor_4).calls, 1u);
    EXPECT_EQ(stage(stage_predictor_8).calls, 2u);
    EXPECT_EQ(stage(stage_predictor_31).calls, 1u);
    EXPECT_EQ(stage(stage_predictor_any).calls, 2u);
    uint64_t path_cycles = 0;
    for (int s = stage_predictor_0; s <= stage_predictor_any; ++s)
        path_cycles += encoder_profile.stages[s].cycles;
    EXPECT_EQ(path_cycles, stage(stage_predictor).cycles);

    std::vector<uint8_t> buffer(1024);
    BitWriter writer;
    bit_writer_init(writer, buffer.data(), 1000);
    GolombParams params;
    set_golomb_params(params);
    uint32_t bits = 0;
    golomb_encode(params, out.data(), writer, 64, 17, bits);
    golomb_encode(params, out.data(), writer, 64, 0, bits);
    golomb_encode(params, out.data(), writer, 64, 33, bits);
    EXPECT_EQ(stage(stage_golomb).calls, 3u);

    const int16_t pcm16[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t pcm24[12] = {};
    const int32_t pcm32[4] = {};
    uint16_t shifted[8];
    int32_t u[4], v[4];
    mix16(pcm16, 2, u, v, 4, 2);
    mix20(pcm24, 2, u, v, 2, 2, 2);
    mix24(pcm24, 2, u, v, 2, 2, 2, shifted, 1);
    mix32(pcm32, 2, u, v, 2, 2, shifted, 2);
    EXPECT_EQ(stage(stage_mix16).calls, 1u);

    EXPECT_EQ(stage(stage_encode_total).calls, 0u);
    EXPECT_EQ(stage(stage_interleave).calls, 0u);
    EXPECT_EQ(stage(stage_packet_sink).calls, 0u);
}

TEST_F(EncoderProfileTest, NothingIsBookedWhenOff) {
    set_profiling_enabled(false);
    std::vector<int32_t> in(64, 3), out(64);
    int16_t coefs[16] = {};
    predict_block_timed(in.data(), out.data(), 64, coefs, 8, 17, 9);
    const int16_t pcm16[4] = {};
    int32_t u[2], v[2];
    mix16(pcm16, 2, u, v, 2, 0);
    std::vector<uint8_t> buffer(64);
    BitWriter writer;
    bit_writer_init(writer, buffer.data(), 60);
    GolombParams params;
    set_golomb_params(params);
    uint32_t bits = 0;
    golomb_encode(params, out.data(), writer, 4, 17, bits);
    for (const StageCounter& s : encoder_profile.stages) {
        EXPECT_EQ(s.cycles, 0u);
        EXPECT_EQ(s.calls, 0u);
    }
}

}  // namespace
}  // namespace qv
