#include "alac/decoder/alac_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alac/alac_frame_builder.h"
#include "alac/encoder_test_support.h"

namespace qv {
namespace {

using framebuild::Bits;
using framebuild::Coding;
using Chans = std::vector<std::vector<int32_t>>;

AlacDecoder make_decoder(uint32_t depth, uint32_t channels, uint32_t frame_length = 4096) {
    MagicCookie config;
    config.bit_depth = depth;
    config.channels = channels;
    config.frame_length = frame_length;
    AlacDecoder decoder;
    std::string error;
    EXPECT_TRUE(decoder.configure(config, error)) << error;
    return decoder;
}

// Decodes `frame` from an exactly sized heap copy, so that any read past its
// end shows up under the address sanitizer.
AlacDecodeStatus decode(AlacDecoder& decoder, const std::vector<uint8_t>& frame) {
    const std::vector<uint8_t> exact(frame.begin(), frame.end());
    return decoder.decode_frame(exact.data(), exact.size());
}

// The decoded frame in ALAC channel order is `want` (input order given by
// `order`, defaulting to identity).
void expect_channels(const AlacDecoder& decoder, const Chans& want) {
    ASSERT_EQ(decoder.frame_count(), want[0].size());
    for (size_t c = 0; c < want.size(); ++c)
        for (size_t i = 0; i < want[c].size(); ++i)
            ASSERT_EQ(decoder.channel(uint32_t(c))[i], want[c][i])
                << "channel " << c << " frame " << i;
}

TEST(AlacDecoderUncompressed, SinglePartialFrameAt16Bits) {
    Bits b;
    framebuild::uncompressed_element(b, 0, 16, 4096, {{1, -1, 32767, -32768}});
    const auto frame = b.finish();
    // Header bits 0 0000 000000000000 1001, then the count 4.
    EXPECT_EQ(frame[0], 0x00);
    EXPECT_EQ(frame[1], 0x00);
    EXPECT_EQ(frame[2], 0x12);
    AlacDecoder decoder = make_decoder(16, 1);
    ASSERT_EQ(decode(decoder, frame), AlacDecodeStatus::ok);
    expect_channels(decoder, {{1, -1, 32767, -32768}});
}

TEST(AlacDecoderUncompressed, FullFrameHasNoCountAndPairsInterleave) {
    for (uint32_t depth : {16u, 20u, 24u, 32u}) {
        const int32_t top = int32_t((uint64_t(1) << (depth - 1)) - 1);
        const Chans chans = {{top, -top - 1, 0, 5}, {-1, 1, top, -top - 1}};
        Bits b;
        framebuild::uncompressed_element(b, 0, depth, 4, chans);
        const auto frame = b.finish();
        // 23 header bits, 8 samples, the end tag, padded to bytes.
        EXPECT_EQ(frame.size(), (23 + 8 * depth + 3 + 7) / 8);
        AlacDecoder decoder = make_decoder(depth, 2, 4);
        ASSERT_EQ(decode(decoder, frame), AlacDecodeStatus::ok) << depth;
        expect_channels(decoder, chans);
    }
}

TEST(AlacDecoderGolomb, FirstResidualsAndEscapeBitPatterns) {
    // Single channel, order 0: the residuals are the samples. The first value
    // is coded with k = 1: mapped value 8 as eight ones and a zero.
    Bits b;
    framebuild::element_header(b, 0, 0, 1, 4096, 0, false);
    b.put(0, 16);
    b.put(0x09, 8);
    b.put(0x80, 8);
    b.put(0x1FE, 9);  // x = 4 -> n = 8
    AlacDecoder decoder = make_decoder(16, 1);
    ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok);
    expect_channels(decoder, {{4}});

    // x = -5 -> n = 9 escapes: nine ones and the value in 16 bits.
    Bits e;
    framebuild::element_header(e, 0, 0, 1, 4096, 0, false);
    e.put(0, 16);
    e.put(0x09, 8);
    e.put(0x80, 8);
    e.put(0x1FF, 9);
    e.put(9, 16);
    ASSERT_EQ(decode(decoder, e.finish()), AlacDecodeStatus::ok);
    expect_channels(decoder, {{-5}});
}

TEST(AlacDecoderGolomb, SilentPacketIsOneBitAndAnEscapedRun) {
    Bits b;
    framebuild::element_header(b, 0, 0, 4096, 4096, 0, false);
    b.put(0, 16);
    b.put(0x09, 8);
    b.put(0x80, 8);
    b.put(0, 1);                  // first residual 0
    b.put(0x1FF0000 + 4095, 25);  // run of 4095, escaped
    AlacDecoder decoder = make_decoder(16, 1);
    ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok);
    expect_channels(decoder, {std::vector<int32_t>(4096, 0)});
}

TEST(AlacDecoderGolomb, ZeroRunsEscapesAndMeanClampMatchTheModel) {
    // Residual mixes chosen to exercise every branch: runs after small values
    // (including runs of length 0), wide escapes, values above 0xFFFF, and
    // n = 0x10000 right after a zero run.
    std::vector<std::vector<int32_t>> cases = {
        {1, 0, 0, 0, 7},
        {1, 5, 0, 0, 2},
        {0, 0x7FFF, 0, 0, 0, 0, 0, 0, 0, 3},
        {0, -0x8000, 0, 0, 0x7FFF, 0, 0, -1},
    };
    framebuild::Rng rng(7);
    for (int t = 0; t < 40; ++t) {
        std::vector<int32_t> x(1 + rng.next() % 600);
        const uint32_t scale = 1u << (rng.next() % 17);
        for (auto& v : x) {
            const uint32_t r = rng.next();
            v = (r % 4 == 0) ? 0
                             : framebuild::wrap_bits(int64_t(rng.next() % scale) - scale / 2, 16);
        }
        cases.push_back(x);
    }
    AlacDecoder decoder = make_decoder(16, 1);
    for (const auto& x : cases) {
        Bits b;
        framebuild::compressed_element(b, 0, 16, 4096, {x}, 0, 0, {Coding{0, {}, 9}});
        ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok);
        expect_channels(decoder, {x});
    }

    // 20-bit single: residual 0x8000 (n = 0x10000) right after a zero run,
    // where the mean clamps on n.
    const std::vector<int32_t> clamp = {0, 0, 0, 0x8000, 1, 0, 0, 2, 0x40000, -0x80000, 3, 0, 0};
    AlacDecoder d20 = make_decoder(20, 1);
    Bits b;
    framebuild::compressed_element(b, 0, 20, 4096, {clamp}, 0, 0, {Coding{0, {}, 9}});
    ASSERT_EQ(decode(d20, b.finish()), AlacDecodeStatus::ok);
    expect_channels(d20, {clamp});
}

TEST(AlacDecoderPredictor, EveryOrderRebuildsTheSignal) {
    // Orders 4 and 8 take the unrolled filter, the rest the general one.
    for (uint32_t order : {0u, 1u, 2u, 4u, 5u, 8u, 16u, 30u, 31u}) {
        for (uint32_t n : {1u, 2u, 5u, 9u, 33u, 4096u}) {
            const auto sig = framebuild::music(n, 16, order * 100 + n);
            Coding coding{order, std::vector<int16_t>(32, 0), 9};
            for (uint32_t k = 0; k < order; ++k) coding.coefs[k] = int16_t(300 - 97 * int(k));
            Bits b;
            framebuild::compressed_element(b, 0, 16, 4096, {sig}, 0, 0, {coding});
            AlacDecoder decoder = make_decoder(16, 1);
            ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok) << order << " " << n;
            expect_channels(decoder, {sig});
        }
    }
}

TEST(AlacDecoderPredictor, CoefficientsWrapAtTheInt16Limit) {
    // Coefficients at the int16 edge on full-scale noise: every adaptation
    // step that crosses 32767 or -32768 must wrap, or the signal drifts.
    for (uint32_t order : {4u, 8u, 6u}) {
        for (uint32_t den_shift : {9u, 1u, 15u}) {
            const auto sig = framebuild::noise(4096, 16, order + den_shift);
            Coding coding{order, std::vector<int16_t>(32, 0), den_shift};
            for (uint32_t k = 0; k < order; ++k) coding.coefs[k] = int16_t(k % 2 ? -32768 : 32767);
            Bits b;
            framebuild::compressed_element(b, 0, 16, 4096, {sig}, 0, 0, {coding});
            AlacDecoder decoder = make_decoder(16, 1);
            ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok) << order;
            expect_channels(decoder, {sig});
        }
    }
}

TEST(AlacDecoderPair, EveryMixWeightAndShiftAtEveryDepth) {
    struct Case {
        uint32_t depth, bytes_shifted;
    };
    for (const Case c : {Case{16, 0}, Case{20, 0}, Case{24, 1}, Case{32, 2}, Case{24, 0}}) {
        for (uint32_t mix_res : {0u, 1u, 2u, 3u, 4u}) {
            for (uint32_t n : {4096u, 1000u, 7u}) {
                const Chans chans = {framebuild::music(n, c.depth, mix_res + n),
                                     framebuild::music(n, c.depth, mix_res + n + 1)};
                Bits b;
                framebuild::compressed_element(b, 0, c.depth, 4096, chans, mix_res, c.bytes_shifted,
                                               {Coding{}, Coding{4, {800, -300, 20, 5}, 9}});
                AlacDecoder decoder = make_decoder(c.depth, 2);
                ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok)
                    << c.depth << " " << mix_res << " " << n;
                expect_channels(decoder, chans);
            }
        }
    }
}

TEST(AlacDecoderPair, FullScaleNoiseWithShiftedBits) {
    for (uint32_t depth : {24u, 32u}) {
        const Chans chans = {framebuild::noise(300, depth, 1), framebuild::noise(300, depth, 2)};
        Bits b;
        framebuild::compressed_element(b, 0, depth, 4096, chans, 2, depth == 32 ? 2 : 1,
                                       {Coding{}, Coding{}});
        AlacDecoder decoder = make_decoder(depth, 2);
        ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok) << depth;
        expect_channels(decoder, chans);
    }
}

TEST(AlacDecoderLayout, ElementsMapBackToTheInputChannelOrder) {
    // The packet carries its channels in ALAC positions; ALAC position j
    // holds input channel order[n][j].
    const uint8_t order[9][8] = {{},
                                 {0},
                                 {0, 1},
                                 {2, 0, 1},
                                 {2, 0, 1, 3},
                                 {2, 0, 1, 3, 4},
                                 {2, 0, 1, 4, 5, 3},
                                 {2, 0, 1, 4, 5, 6, 3},
                                 {2, 6, 7, 0, 1, 4, 5, 3}};
    // Element kinds from position 0 (1 = pair).
    const std::vector<std::vector<int>> kinds = {
        {}, {0}, {1}, {0, 1}, {0, 1, 0}, {0, 1, 1}, {0, 1, 1, 0}, {0, 1, 1, 0, 0}, {0, 1, 1, 1, 0}};
    for (uint32_t n = 1; n <= 8; ++n) {
        Chans input(n);
        for (uint32_t c = 0; c < n; ++c) input[c] = framebuild::music(50, 24, 10 * n + c);
        Bits b;
        uint32_t pos = 0, instances[2] = {0, 0};
        for (int kind : kinds[n]) {
            Chans elem = {input[order[n][pos]]};
            if (kind == 1) elem.push_back(input[order[n][pos + 1]]);
            if (pos % 2 == 0)
                framebuild::uncompressed_element(b, instances[kind]++, 24, 4096, elem);
            else
                framebuild::compressed_element(b, instances[kind]++, 24, 4096, elem, 2, 1,
                                               {Coding{}, Coding{}});
            pos += kind == 1 ? 2 : 1;
        }
        AlacDecoder decoder = make_decoder(24, n);
        ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok) << n;
        expect_channels(decoder, input);
    }
}

TEST(AlacDecoderLayout, SingleElementsRebuiltTwoAtATimeMatchTheirSignals) {
    // A frame's single elements (centre, LFE, back centre) are filtered two
    // at a time when their widths agree; each must still come out as its own.
    // Orders 4 and 8 take the vector pair loop, 5 and 0 the general one, and
    // a shifted single has a narrower width than an unshifted one.
    const std::vector<std::vector<int>> kinds = {
        {0, 1}, {0, 1, 1, 0}, {0, 1, 1, 0, 0}, {0, 1, 1, 1, 0}};
    const uint32_t orders[] = {4, 8, 5, 0, 8, 4};
    const uint8_t order[9][8] = {{},
                                 {},
                                 {},
                                 {2, 0, 1},
                                 {},
                                 {},
                                 {2, 0, 1, 4, 5, 3},
                                 {2, 0, 1, 4, 5, 6, 3},
                                 {2, 6, 7, 0, 1, 4, 5, 3}};
    for (const auto& layout : kinds) {
        uint32_t n = 0;
        for (int kind : layout) n += kind == 1 ? 2 : 1;
        for (uint32_t variant = 0; variant < 6; ++variant) {
            SCOPED_TRACE(testing::Message() << n << " channels, variant " << variant);
            Chans input(n);
            for (uint32_t c = 0; c < n; ++c)
                input[c] = framebuild::music(4096, 24, 7 * n + c + variant);
            Bits b;
            uint32_t pos = 0, instances[2] = {0, 0}, singles = 0;
            for (int kind : layout) {
                Chans elem = {input[order[n][pos]]};
                if (kind == 1) elem.push_back(input[order[n][pos + 1]]);
                std::vector<Coding> coding(2);
                uint32_t shift = 1;
                if (kind == 0) {
                    const uint32_t o = orders[(variant + singles) % 6];
                    coding[0].order = o;
                    coding[0].coefs.resize(32, 0);
                    for (uint32_t k = 0; k < o; ++k)
                        coding[0].coefs[k] = int16_t(700 - 150 * int(k));
                    shift = variant % 2 == 1 && singles % 2 == 1 ? 0 : 1;
                    ++singles;
                }
                framebuild::compressed_element(b, instances[kind]++, 24, 4096, elem, 2, shift,
                                               coding);
                pos += kind == 1 ? 2 : 1;
            }
            AlacDecoder decoder = make_decoder(24, n);
            ASSERT_EQ(decode(decoder, b.finish()), AlacDecodeStatus::ok);
            expect_channels(decoder, input);
        }
    }
}

// A valid two-element frame (3 channels, 16-bit, partial) to break in the
// error tests, built from its pieces so a test can alter one of them.
struct Pieces {
    uint32_t single_tag = 0, single_instance = 0, pair_tag = 1, pair_instance = 0;
    uint32_t reserved = 0, frames = 3, pair_frames = 3;
    uint32_t mix_single = 0, mode_shift = 0x09, weight_order = 0x80;
    bool end = true;
};

std::vector<uint8_t> three_channel_frame(const Pieces& p) {
    Bits b;
    b.put(p.single_tag, 3);
    b.put(p.single_instance, 4);
    b.put(p.reserved, 12);
    b.put(1, 1);
    b.put(0, 2);
    b.put(0, 1);
    b.put(p.frames, 32);
    b.put(p.mix_single, 16);
    b.put(p.mode_shift, 8);
    b.put(p.weight_order, 8);
    framebuild::golomb(b, {1, 2, 3}, 16);
    framebuild::element_header(b, p.pair_tag, p.pair_instance, p.pair_frames, 4096, 0, true);
    for (int i = 0; i < int(p.pair_frames); ++i) {
        b.put(uint16_t(i), 16);
        b.put(uint16_t(-i), 16);
    }
    if (!p.end) {
        b.align();
        return b.bytes;
    }
    return b.finish();
}

TEST(AlacDecoderErrors, EachMalformedFieldHasItsStatus) {
    AlacDecoder decoder = make_decoder(16, 3);
    ASSERT_EQ(decode(decoder, three_channel_frame({})), AlacDecodeStatus::ok);
    expect_channels(decoder, {{0, 1, 2}, {0, -1, -2}, {1, 2, 3}});

    struct Case {
        const char* name;
        Pieces p;
        AlacDecodeStatus want;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto change, AlacDecodeStatus want) {
        Pieces p;
        change(p);
        cases.push_back({name, p, want});
    };
    add(
        "tag 2", [](Pieces& p) { p.single_tag = 2; }, AlacDecodeStatus::bad_element_tag);
    add(
        "tag 6", [](Pieces& p) { p.pair_tag = 6; }, AlacDecodeStatus::bad_element_tag);
    add(
        "pair first", [](Pieces& p) { p.single_tag = 1; }, AlacDecodeStatus::unexpected_element);
    add(
        "end early", [](Pieces& p) { p.pair_tag = 7; }, AlacDecodeStatus::missing_channels);
    add(
        "instance", [](Pieces& p) { p.pair_instance = 1; }, AlacDecodeStatus::bad_instance);
    add(
        "reserved", [](Pieces& p) { p.reserved = 0x800; }, AlacDecodeStatus::reserved_bits);
    add(
        "count 0", [](Pieces& p) { p.frames = 0; }, AlacDecodeStatus::bad_frame_count);
    add(
        "count 4097", [](Pieces& p) { p.frames = 4097; }, AlacDecodeStatus::bad_frame_count);
    add(
        "counts differ", [](Pieces& p) { p.pair_frames = 2; },
        AlacDecodeStatus::frame_count_mismatch);
    add(
        "single mix", [](Pieces& p) { p.mix_single = 0x0200; }, AlacDecodeStatus::bad_single_mix);
    add(
        "mode 1", [](Pieces& p) { p.mode_shift = 0x19; }, AlacDecodeStatus::bad_prediction_mode);
    add(
        "shift 0", [](Pieces& p) { p.mode_shift = 0x00; }, AlacDecodeStatus::bad_den_shift);
    add(
        "weight 3", [](Pieces& p) { p.weight_order = 0x60; }, AlacDecodeStatus::bad_weight);
    add(
        "no end tag", [](Pieces& p) { p.end = false; }, AlacDecodeStatus::truncated);
    for (const Case& c : cases) {
        EXPECT_EQ(decode(decoder, three_channel_frame(c.p)), c.want) << c.name;
        EXPECT_EQ(decoder.frame_count(), 0u) << c.name;
    }

    auto frame = three_channel_frame({});
    auto garbage = frame;
    garbage.push_back(0);
    EXPECT_EQ(decode(decoder, garbage), AlacDecodeStatus::trailing_bytes);
    auto padded = frame;
    padded.back() |= 1;  // the last bit is padding
    EXPECT_EQ(decode(decoder, padded), AlacDecodeStatus::nonzero_padding);
    EXPECT_EQ(decode(decoder, {}), AlacDecodeStatus::truncated);

    // An element after the last channel.
    Bits extra;
    framebuild::uncompressed_element(extra, 0, 16, 4096, {{1}});
    framebuild::uncompressed_element(extra, 0, 16, 4096, {{1}});
    AlacDecoder mono = make_decoder(16, 1);
    EXPECT_EQ(decode(mono, extra.finish()), AlacDecodeStatus::extra_element);

    AlacDecoder unconfigured;
    EXPECT_EQ(decode(unconfigured, frame), AlacDecodeStatus::not_configured);
}

TEST(AlacDecoderErrors, EveryPrefixOfAFrameIsRejected) {
    const Chans chans = {framebuild::music(200, 24, 3), framebuild::music(200, 24, 4)};
    Bits b;
    framebuild::compressed_element(b, 0, 24, 4096, chans, 3, 1, {Coding{}, Coding{}});
    const auto frame = b.finish();
    AlacDecoder decoder = make_decoder(24, 2);
    ASSERT_EQ(decode(decoder, frame), AlacDecodeStatus::ok);
    for (size_t len = 0; len < frame.size(); ++len) {
        const std::vector<uint8_t> cut(frame.begin(), frame.begin() + long(len));
        EXPECT_NE(decode(decoder, cut), AlacDecodeStatus::ok) << len;
    }
}

TEST(AlacDecoderErrors, ValuesBeyondTheirWidthAreRejected) {
    // A run count longer than the frames left.
    Bits run;
    framebuild::element_header(run, 0, 0, 3, 4096, 0, false);
    run.put(0, 16);
    run.put(0x09, 8);
    run.put(0x80, 8);
    run.put(0, 1);               // first residual 0, so a run count follows
    run.put(0x1FF0000 + 3, 25);  // 3 zeros, but only 2 frames remain
    AlacDecoder mono = make_decoder(16, 1);
    EXPECT_EQ(decode(mono, run.finish()), AlacDecodeStatus::zero_run_overflow);

    // Order 0 passes residuals through. Once the mean is high, a codeword
    // without escape reaches 8·16383 + 16382, which is no 16-bit sample.
    std::vector<int32_t> big(10, -32768);
    big.push_back(70000);
    Bits wide;
    framebuild::compressed_element(wide, 0, 16, 4096, {big}, 0, 0, {Coding{0, {}, 9}});
    AlacDecoder d16 = make_decoder(16, 1);
    EXPECT_EQ(decode(d16, wide.finish()), AlacDecodeStatus::sample_out_of_range);
    // ...but a pair whose side signal puts the left channel past 16 bits is not.
    Chans too_wide = {{32767}, {-32768}};
    Bits mix;
    framebuild::element_header(mix, 1, 0, 1, 4096, 0, false);
    mix.put(2, 8);
    mix.put(0, 8);
    mix.put(0x09, 8);
    mix.put(0x80, 8);
    mix.put(0x09, 8);
    mix.put(0x80, 8);
    framebuild::golomb(mix, {65535}, 17);  // U = L in 17 bits
    framebuild::golomb(mix, {0}, 17);
    AlacDecoder pair = make_decoder(16, 2);
    EXPECT_EQ(decode(pair, mix.finish()), AlacDecodeStatus::sample_out_of_range);

    // Bytes shifted that leave a 16-bit pair 33 bits wide, or any shift on an
    // uncompressed element.
    Bits shifted;
    framebuild::element_header(shifted, 0, 0, 1, 4096, 2, false);
    AlacDecoder d16b = make_decoder(16, 1);
    EXPECT_EQ(decode(d16b, shifted.finish()), AlacDecodeStatus::bad_bytes_shifted);
    Bits pair32;
    framebuild::element_header(pair32, 1, 0, 1, 4096, 0, false);
    AlacDecoder d32 = make_decoder(32, 2);
    EXPECT_EQ(decode(d32, pair32.finish()), AlacDecodeStatus::bad_bytes_shifted);
    Bits raw;
    framebuild::element_header(raw, 0, 0, 1, 4096, 1, true);
    raw.put(0, 16);
    EXPECT_EQ(decode(d16b, raw.finish()), AlacDecodeStatus::bad_bytes_shifted);
}

TEST(AlacDecoderConfigure, RejectsUnusableParameters) {
    AlacDecoder decoder;
    std::string error;
    MagicCookie config;
    config.bit_depth = 8;
    EXPECT_FALSE(decoder.configure(config, error));
    EXPECT_EQ(error, "unsupported ALAC bit depth");
    config = {};
    config.channels = 9;
    EXPECT_FALSE(decoder.configure(config, error));
    EXPECT_EQ(error, "unsupported ALAC channel count");
    config = {};
    config.frame_length = 4097;
    EXPECT_FALSE(decoder.configure(config, error));
    config = {};
    config.kb = 0;
    EXPECT_FALSE(decoder.configure(config, error));
}

// The encoder's code starts let the decoder read a pair's U and V codes side
// by side. The samples must be those of reading them one after the other,
// and a wrong start, or a corrupted frame, must change nothing but the time.
TEST(AlacDecoderCodeStarts, SameResultWithRightWrongOrNoStarts) {
    struct Decoded {
        AlacDecodeStatus status;
        Chans samples;
    };
    auto run = [](AlacDecoder& decoder, const std::vector<uint8_t>& frame, uint32_t channels,
                  const PairCodeStarts* starts) {
        const std::vector<uint8_t> exact(frame.begin(), frame.end());
        Decoded d{decoder.decode_frame(exact.data(), exact.size(), starts), {}};
        for (uint32_t c = 0; c < channels && d.status == AlacDecodeStatus::ok; ++c)
            d.samples.emplace_back(decoder.channel(c), decoder.channel(c) + decoder.frame_count());
        return d;
    };
    for (const uint32_t channels : {2u, 8u}) {
        for (const uint32_t bits : {16u, 24u}) {
            for (const bool fast : {false, true}) {
                for (const uint32_t frames : {4096u, 1000u}) {
                    SCOPED_TRACE(::testing::Message() << channels << " channels, " << bits
                                                      << " bits, fast " << fast << ", " << frames);
                    test::FrameHarness h(channels, bits, fast);
                    const std::vector<uint8_t> frame =
                        h.encode(test::music_like(channels, frames, bits, channels + bits));
                    ASSERT_EQ(h.status, 0);
                    const PairCodeStarts right = h.encoder.code_starts();
                    const uint32_t pairs = channels == 2 ? 1 : 3;
                    for (uint32_t p = 0; p < pairs; ++p) EXPECT_NE(right.v_bits[p], 0u) << p;

                    AlacDecoder decoder = make_decoder(bits, channels);
                    const Decoded plain = run(decoder, frame, channels, nullptr);
                    ASSERT_EQ(plain.status, AlacDecodeStatus::ok);
                    EXPECT_EQ(run(decoder, frame, channels, &right).samples, plain.samples);

                    const uint32_t end = uint32_t(frame.size() * 8);
                    for (const uint32_t wrong : {1u, 7u, 100u, end - 1, end, end + 1000}) {
                        for (const int32_t off : {-1, 0, 1}) {
                            PairCodeStarts starts = right;
                            starts.v_bits[0] = off == 0 ? wrong : right.v_bits[0] + off;
                            if (channels == 8) std::swap(starts.v_bits[1], starts.v_bits[2]);
                            const Decoded got = run(decoder, frame, channels, &starts);
                            EXPECT_EQ(got.status, AlacDecodeStatus::ok) << wrong << " " << off;
                            EXPECT_EQ(got.samples, plain.samples) << wrong << " " << off;
                        }
                    }

                    // Flipped bits give the same verdict and samples either way.
                    for (uint32_t bit = 3; bit < end; bit += end / 97 + 1) {
                        std::vector<uint8_t> bad = frame;
                        bad[bit / 8] ^= uint8_t(0x80u >> (bit % 8));
                        const Decoded without = run(decoder, bad, channels, nullptr);
                        const Decoded with = run(decoder, bad, channels, &right);
                        ASSERT_EQ(with.status, without.status) << "bit " << bit;
                        ASSERT_EQ(with.samples, without.samples) << "bit " << bit;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qv
