#include "alac/alac_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "alac/common/channel_layout.h"
#include "alac/encoder_profile.h"
#include "encoder_test_support.h"

namespace qv::test {
namespace {

constexpr uint32_t depths[] = {16, 20, 24, 32};

TEST(AlacEncoder, InitializeAndSourceFormat) {
    FrameHarness h(2, 16);
    ASSERT_EQ(h.status, 0);
    EXPECT_EQ(h.encoder.bit_depth, 16);
    EXPECT_EQ(h.encoder.max_output_bytes, 2u * 4096 * 5 + 1);
    EXPECT_EQ(h.encoder.sample_rate, 44100u);
    EXPECT_EQ(h.encoder.max_frame_bytes, 0u);

    ALACEncoder e;
    StreamFormat out;
    out.sample_rate = 48000.9;
    out.channels_per_frame = 6;
    for (uint32_t flags : {2u, 3u, 4u, 9u}) {
        out.format_flags = flags;
        ASSERT_EQ(e.initialize(out), 0);
    }
    EXPECT_EQ(e.bit_depth, 32);  // an unknown flag keeps the depth
    EXPECT_EQ(e.sample_rate, 48000u);
    EXPECT_EQ(e.max_output_bytes, 6u * 4096 * 5 + 1);

    StreamFormat src;
    src.format_id = fourcc("lpcm");
    src.format_flags = 12;
    const std::pair<uint32_t, int16_t> bits_to_depth[] = {{8, 16},  {16, 16}, {17, 20}, {20, 20},
                                                          {22, 24}, {24, 24}, {25, 32}};
    for (auto [bits, depth] : bits_to_depth) {
        src.bits_per_channel = bits;
        e.set_source_format(src, out);
        EXPECT_EQ(e.bit_depth, depth) << bits;
    }
    src.format_flags = 9;  // float
    e.set_source_format(src, out);
    EXPECT_EQ(e.bit_depth, 16);
    src.format_flags = 12;
    src.format_id = fourcc("alac");
    e.set_source_format(src, out);
    EXPECT_EQ(e.bit_depth, 16);
}

// Silence leaves the initial coefficients untouched, every weight ties (the
// first wins) and order 4 wins by its cheaper coefficients; 4096 zeros code
// as one 0 bit and an escaped run count of 4095.
TEST(AlacEncoder, DigitalSilenceChoosesFirstWeightAndOrderFour) {
    for (uint32_t channels : {1u, 2u}) {
        FrameHarness h(channels, 16);
        for (int packet = 0; packet < 2; ++packet) {
            const std::vector<uint8_t> frame =
                h.encode(Planar(channels, std::vector<int32_t>(4096)));
            ASSERT_EQ(h.status, 0);
            FieldReader r(frame);
            EXPECT_EQ(r.read(3), channels == 2 ? 1u : 0u);
            EXPECT_EQ(r.read(4), 0u);
            EXPECT_EQ(r.read(16), 0u);  // full, nothing shifted, compressed
            EXPECT_EQ(r.read(8), channels == 2 ? 2u : 0u);
            EXPECT_EQ(r.read(8), 0u);
            for (uint32_t s = 0; s < channels; ++s) {
                EXPECT_EQ(r.read(8), 9u);
                EXPECT_EQ(r.read(8), 0x84u);
                for (int32_t a : {1216, -928, -64, 0}) EXPECT_EQ(r.read_signed(16), a);
            }
            for (uint32_t s = 0; s < channels; ++s) {
                EXPECT_EQ(r.read(1), 0u);
                EXPECT_EQ(r.read(25), 0x1FF0000u + 4095);
            }
            EXPECT_EQ(r.read(3), 7u);
            EXPECT_EQ(frame.size(), (r.position() + 7) / 8);
        }
        EXPECT_EQ(h.encoder.max_frame_bytes, channels == 2 ? 32u : 19u);
    }
}

// Full-scale noise: each element falls back to uncompressed (16 header bits,
// then the samples at the coded depth); the elements follow the channel map
// with separate instance counts for singles and pairs.
TEST(AlacEncoder, NoiseGivesUncompressedElementsInChannelMapOrder) {
    for (bool fast : {false, true}) {
        FrameHarness h(2, 16, fast);
        EXPECT_EQ(h.encode(full_scale_noise(2, 4096, 16)).size(), 16388u);
        // Coded, this would take more than the 5 bytes a sample the output has.
        FrameHarness wide(2, 32, fast);
        const Planar pcm = full_scale_noise(2, 4096, 32);
        expect_verbatim_frame(wide.encode(pcm), pcm, 32);
    }
    for (uint32_t bits : depths) {
        for (uint32_t channels = 1; channels <= 8; ++channels) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << bits << " bits");
            FrameHarness h(channels, bits);
            const Planar pcm = full_scale_noise(channels, 4096, bits, channels * bits);
            const std::vector<uint8_t> frame = h.encode(pcm);
            ASSERT_EQ(h.status, 0);
            expect_verbatim_frame(frame, pcm, bits);
            EXPECT_EQ(frame.size(), h.encoder.max_frame_bytes);
        }
    }
    FrameHarness h(5, 16);
    const Planar short_noise = full_scale_noise(5, 1000, 16);
    expect_verbatim_frame(h.encode(short_noise), short_noise, 16);
}

// The tail of a frame: the last set bit closes the end tag 111, followed by
// zero padding to the byte boundary.
void expect_end_tag_tail(const std::vector<uint8_t>& frame) {
    ASSERT_FALSE(frame.empty());
    const uint8_t last = frame.back();
    ASSERT_NE(last, 0);
    const uint32_t padding = uint32_t(__builtin_ctz(last));
    const uint32_t tail_bits = uint32_t(frame.size() * 8) - padding;
    FieldReader r(frame);
    r.read(tail_bits - 3);
    EXPECT_EQ(r.read(3), 7u);
}

TEST(AlacEncoder, MusicCompressesInEveryLayoutAndDepth) {
    for (uint32_t bits : depths) {
        for (uint32_t channels = 1; channels <= 8; ++channels) {
            for (bool fast : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << channels << " ch, " << bits << " bits, fast " << fast);
                FrameHarness h(channels, bits, fast);
                for (uint32_t frames : {4096u, 1234u}) {
                    const std::vector<uint8_t> frame =
                        h.encode(music_like(channels, frames, bits, frames));
                    ASSERT_EQ(h.status, 0);
                    EXPECT_LE(frame.size(), h.encoder.max_output_bytes);
                    EXPECT_LT(frame.size(), size_t(frames) * channels * bits / 8 * 7 / 8);
                    expect_end_tag_tail(frame);

                    FieldReader r(frame);
                    EXPECT_EQ(r.read(3), element_tag_at(channels, 0));
                    EXPECT_EQ(r.read(4), 0u);
                    const ElementHeader head =
                        read_element_header(r, element_tag_at(channels, 0) == 1 ? 2 : 1);
                    EXPECT_FALSE(head.uncompressed());
                    EXPECT_EQ(head.partial(), frames != 4096);
                    EXPECT_EQ(head.bytes_shifted(), bits == 32 ? 2u : bits == 24 ? 1u : 0u);
                    EXPECT_EQ(head.mode_shift[0], 9u);
                    EXPECT_TRUE(head.weight_order[0] == 0x84 || head.weight_order[0] == 0x88);
                }
            }
        }
    }
}

TEST(AlacEncoder, PartialPacketsCarryFlagAndFrameCount) {
    for (uint32_t channels : {1u, 2u, 3u}) {
        FrameHarness h(channels, 16);
        for (uint32_t frames : {1u, 2u, 5u, 7u, 8u, 9u, 20u, 31u, 32u, 33u, 100u, 4095u, 4096u}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << frames << " frames");
            const std::vector<uint8_t> frame = h.encode(music_like(channels, frames, 16));
            ASSERT_EQ(h.status, 0);
            expect_end_tag_tail(frame);
            FieldReader r(frame);
            r.read(7);
            const ElementHeader head = read_element_header(r, channels == 2 ? 2 : 1);
            EXPECT_EQ(head.partial(), frames != 4096);
            EXPECT_EQ(head.frame_count, frames == 4096 ? 0u : frames);
            if (!head.uncompressed() && frames < 8) {
                // No frames to weigh: every weight costs 0 bits, the first wins;
                // no residuals to measure: the cheaper order wins.
                EXPECT_EQ(head.mix_res, 0u);
                EXPECT_EQ(head.weight_order[0], 0x84u);
            }
        }
    }
}

TEST(AlacEncoder, FastModeUsesFixedParametersForStereoOnly) {
    const Planar stereo = music_like(2, 4096, 16);
    FrameHarness searched(2, 16);
    FrameHarness fast(2, 16, true);
    const std::vector<uint8_t> a = searched.encode(stereo);
    const std::vector<uint8_t> b = fast.encode(stereo);
    EXPECT_NE(a, b);
    FieldReader r(b);
    r.read(7);
    const ElementHeader head = read_element_header(r, 2);
    EXPECT_EQ(head.mix_bits, 2u);
    EXPECT_EQ(head.mix_res, 0u);
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(head.mode_shift[s], 9u);
        EXPECT_EQ(head.weight_order[s], 0x88u);
        EXPECT_EQ(head.coefs[s], (std::vector<int32_t>{1216, -928, -64, 0, 0, 0, 0, 0}));
    }

    for (uint32_t channels = 3; channels <= 8; ++channels) {
        FrameHarness plain(channels, 24);
        FrameHarness with_fast(channels, 24, true);
        for (uint32_t packet = 0; packet < 2; ++packet) {
            const Planar pcm = music_like(channels, 4096, 24, packet);
            EXPECT_EQ(plain.encode(pcm), with_fast.encode(pcm)) << channels;
        }
    }
}

// Quiet first eighth, full-scale noise after it: the estimate from the
// search passes says "compress", the measured element does not fit. (Mono
// runs at 20 bits, where noise residuals escape; 16-bit mono noise codes to
// less than 16 bits a sample once a quiet part is added.) At 32 bits the
// attempt alone would not fit the output capacity.
TEST(AlacEncoder, MeasuredSizeFallbackPrintsAndWritesUncompressed) {
    struct Case {
        uint32_t channels, bits;
        const char* suffix;
    };
    for (const Case& c : {Case{2, 16, " vs. 131088 \n"}, Case{2, 32, " vs. 262160 \n"},
                          Case{1, 20, " vs. 81936\n"}}) {
        Planar pcm = full_scale_noise(c.channels, 4096, c.bits);
        for (auto& channel : pcm) std::fill(channel.begin(), channel.begin() + 512, 0);
        FrameHarness h(c.channels, c.bits);
        testing::internal::CaptureStdout();
        const std::vector<uint8_t> frame = h.encode(pcm);
        const std::string printed = testing::internal::GetCapturedStdout();
        const std::string prefix = "compressed frame too big: ";
        const size_t digits = printed.find_first_not_of("0123456789", prefix.size());
        EXPECT_EQ(printed.substr(0, prefix.size()), prefix);
        EXPECT_GT(digits, prefix.size());
        EXPECT_EQ(printed.substr(std::min(digits, printed.size())), c.suffix) << printed;
        expect_verbatim_frame(frame, pcm, c.bits);
    }
}

TEST(AlacEncoder, BadBitDepthIsAParameterError) {
    for (uint32_t channels : {1u, 2u, 5u}) {
        for (bool fast : {false, true}) {
            ALACEncoder e;
            StreamFormat out;
            out.channels_per_frame = channels;
            out.format_flags = 7;
            ASSERT_EQ(e.initialize(out), 0);
            e.fast_mode = fast;
            StreamFormat in;
            in.channels_per_frame = channels;
            in.bytes_per_packet = 2 * channels;
            std::vector<uint8_t> pcm(4096 * 2 * channels), out_buf(e.max_output_bytes + 4);
            int32_t io_bytes = int32_t(pcm.size());
            EXPECT_EQ(e.encode_frame(in, out, pcm.data(), out_buf.data(), &io_bytes),
                      alac_param_error);
            EXPECT_EQ(e.finish(), 0);
        }
    }
}

// Counts the final passes by order from the frame headers.
uint32_t order_four_signals(const std::vector<uint8_t>& frame) {
    FieldReader r(frame);
    r.read(7);
    const ElementHeader head = read_element_header(r, 2);
    EXPECT_FALSE(head.uncompressed());
    return (head.weight_order[0] == 0x84) + (head.weight_order[1] == 0x84);
}

TEST(AlacEncoder, ProfileCountsPerStereoPacket) {
    constexpr uint64_t n = 3;
    for (bool fast : {false, true}) {
        FrameHarness h(2, 16, fast);
        reset_encoder_profile();
        set_profiling_enabled(true);
        uint64_t final_order_four = 0;
        for (uint32_t packet = 0; packet < n; ++packet) {
            final_order_four += order_four_signals(h.encode(music_like(2, 4096, 16, packet)));
        }
        set_profiling_enabled(false);
        const StageCounter* s = encoder_profile.stages;
        if (!fast) {
            EXPECT_EQ(s[stage_mix16].calls, 6 * n);
            EXPECT_EQ(s[stage_predictor].calls, 44 * n);
            EXPECT_EQ(s[stage_predictor_4].calls, 16 * n + final_order_four);
            EXPECT_EQ(s[stage_predictor_8].calls, 26 * n + (2 * n - final_order_four));
            EXPECT_EQ(s[stage_golomb].calls, 16 * n);
        } else {
            EXPECT_EQ(s[stage_mix16].calls, n);
            EXPECT_EQ(s[stage_predictor].calls, 2 * n);
            EXPECT_EQ(s[stage_predictor_4].calls, 0u);
            EXPECT_EQ(s[stage_predictor_8].calls, 2 * n);
            EXPECT_EQ(s[stage_golomb].calls, 2 * n);
        }
        for (EncoderStage unused : {stage_predictor_0, stage_predictor_31, stage_predictor_any}) {
            EXPECT_EQ(s[unused].calls, 0u);
        }
        reset_encoder_profile();
    }
}

}  // namespace
}  // namespace qv::test
