#include "alac/decoder/packet_verifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alac/alac_frame_builder.h"
#include "alac/packet_encoder.h"
#include "alac/simd_levels.h"

namespace qv {
namespace {

using Chans = std::vector<std::vector<int32_t>>;

struct RoundTrip {
    bool encoded = false;  // every packet was taken and finish succeeded
    std::string error;
    uint64_t verified = 0;
    uint64_t mismatch = 0;
    AlacDecodeStatus status = AlacDecodeStatus::ok;
    std::vector<uint32_t> packet_bytes;
    std::vector<uint8_t> stream;  // every packet's bytes, one after the other
    std::vector<uint8_t> cookie;
};

// Encodes `input` (input channel order) through PacketEncoder in blocks of
// `block` frames, verifying every packet as the sink receives it.
RoundTrip round_trip(uint32_t depth, const Chans& input, bool fast = false, uint32_t block = 1000,
                     const Chans* compare = nullptr) {
    const Chans& want = compare ? *compare : input;
    const uint32_t channels = uint32_t(input.size());
    const uint32_t frames = uint32_t(input[0].size());
    AudioFormat format{44100, depth, channels, frames};
    RoundTrip result;
    PacketVerifier verifier;
    EXPECT_TRUE(verifier.start(format, result.error)) << result.error;
    uint64_t offset = 0;
    auto sink = [&](const AlacPacket& packet, std::string& error) {
        std::vector<const int32_t*> pcm(channels);
        for (uint32_t c = 0; c < channels; ++c) pcm[c] = want[c].data() + offset;
        offset += packet.frame_count;
        result.packet_bytes.push_back(packet.byte_count);
        result.stream.insert(result.stream.end(), packet.data, packet.data + packet.byte_count);
        if (verifier.verify_packet(packet.data, packet.byte_count, packet.code_starts, pcm.data(),
                                   packet.frame_count))
            return true;
        error = verification_failure_message(verifier.mismatch_frame());
        return false;
    };
    PacketEncoder encoder;
    EXPECT_TRUE(encoder.start(format, fast, sink, result.error)) << result.error;
    bool ok = true;
    for (uint32_t done = 0; ok && done < frames;) {
        const uint32_t take = std::min(block, frames - done);
        std::vector<const int32_t*> pcm(channels);
        for (uint32_t c = 0; c < channels; ++c) pcm[c] = input[c].data() + done;
        ok = encoder.accept_pcm(pcm.data(), take, result.error);
        done += take;
    }
    if (ok) ok = encoder.finish(result.error);
    result.encoded = ok;
    result.verified = verifier.verified_frames();
    result.mismatch = verifier.mismatch_frame();
    result.status = verifier.decode_status();
    result.cookie = encoder.magic_cookie();
    return result;
}

void expect_lossless(uint32_t depth, const Chans& input, bool fast = false) {
    const RoundTrip r = round_trip(depth, input, fast);
    EXPECT_TRUE(r.encoded) << r.error << " (" << alac_decode_status_text(r.status) << ")";
    EXPECT_EQ(r.verified, input[0].size());
}

// Channels that share most of their content, so matrixing pays off.
Chans correlated(uint32_t channels, size_t frames, uint32_t depth, uint64_t seed) {
    const auto base = framebuild::music(frames, depth, seed);
    Chans out(channels, base);
    for (uint32_t c = 1; c < channels; ++c) {
        const auto extra = framebuild::music(frames, depth, seed + c);
        for (size_t i = 0; i < frames; ++i) out[c][i] = base[i] / 2 + extra[i] / 3;
    }
    return out;
}

Chans noise(uint32_t channels, size_t frames, uint32_t depth, uint64_t seed) {
    Chans out(channels);
    for (uint32_t c = 0; c < channels; ++c) out[c] = framebuild::noise(frames, depth, seed + c);
    return out;
}

TEST(PacketRoundTrip, MusicAndNoiseAtEveryDepthAndChannelCount) {
    for (uint32_t depth : {16u, 20u, 24u, 32u}) {
        for (uint32_t channels = 1; channels <= 8; ++channels) {
            SCOPED_TRACE(testing::Message() << depth << " bits, " << channels << " channels");
            expect_lossless(depth, correlated(channels, 10000, depth, depth + channels));
            expect_lossless(depth, noise(channels, 4096 + 17, depth, depth * channels));
        }
    }
}

// Whole packets at each instruction-set level: the encoder's bytes are
// those of its portable loops, and the decoder, at the same level, gives
// the input back.
class PacketRoundTripAtLevel : public SimdLevelTest {};
RZ_AT_EVERY_SIMD_LEVEL(PacketRoundTripAtLevel);

TEST_P(PacketRoundTripAtLevel, SameBytesAsThePortableLoopsAndLossless) {
    for (uint32_t depth : {16u, 24u, 32u}) {
        for (uint32_t channels : {1u, 2u, 6u}) {
            for (bool fast : {false, true}) {
                SCOPED_TRACE(testing::Message() << depth << " bits, " << channels << " channels"
                                                << (fast ? ", fast" : ""));
                const Chans input = correlated(channels, 3 * 4096 + 100, depth, depth + channels);
                set_max_simd_level(SimdLevel::portable);
                const RoundTrip plain = round_trip(depth, input, fast);
                set_max_simd_level(level());
                const RoundTrip r = round_trip(depth, input, fast);
                EXPECT_TRUE(r.encoded) << r.error;
                EXPECT_EQ(r.verified, input[0].size());
                EXPECT_EQ(r.stream, plain.stream);
            }
        }
    }
}

TEST(PacketRoundTrip, FastModeAndShortPackets) {
    for (uint32_t depth : {16u, 20u, 24u, 32u}) {
        SCOPED_TRACE(depth);
        expect_lossless(depth, correlated(2, 9000, depth, 5), true);
        expect_lossless(depth, noise(2, 5000, depth, 6), true);
        expect_lossless(depth, correlated(6, 5000, depth, 7), true);
        for (uint32_t frames : {1u, 2u, 7u, 8u, 9u, 31u, 32u, 33u, 4095u, 4096u, 4097u}) {
            SCOPED_TRACE(frames);
            expect_lossless(depth, correlated(2, frames, depth, frames));
            expect_lossless(depth, correlated(1, frames, depth, frames), true);
            expect_lossless(depth, correlated(3, frames, depth, frames));
        }
    }
}

// Full-scale 32-bit noise costs 42 bits per sample on the fast pair path
// (16 shifted-off bits and a 26-bit escape), more than an uncompressed
// element, so every packet falls back after being coded in full.
TEST(PacketRoundTrip, FastModeOnFullScale32BitNoise) {
    expect_lossless(32, noise(2, 5000, 32, 6), true);
}

TEST(PacketRoundTrip, SilenceExtremesAndRawPairs) {
    for (uint32_t depth : {16u, 20u, 24u, 32u}) {
        SCOPED_TRACE(depth);
        expect_lossless(depth, Chans(2, std::vector<int32_t>(9000, 0)));
        expect_lossless(depth, Chans(5, std::vector<int32_t>(4096, -1)));
        // Alternating extremes, and one channel pinned at each end.
        const int32_t top = int32_t((uint64_t(1) << (depth - 1)) - 1);
        std::vector<int32_t> square(8192);
        for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 3) % 2 ? top : -top - 1;
        expect_lossless(depth, {square, std::vector<int32_t>(8192, top)});
        expect_lossless(depth, {std::vector<int32_t>(8192, -top - 1), square}, true);
    }
    // Full-scale 32-bit stereo noise ends in uncompressed pairs of
    // 4096 · 2 · 4 bytes plus 4 header bytes.
    const RoundTrip r = round_trip(32, noise(2, 8192, 32, 99));
    EXPECT_TRUE(r.encoded) << r.error;
    ASSERT_EQ(r.packet_bytes.size(), 2u);
    EXPECT_EQ(r.packet_bytes[0], 32772u);
    EXPECT_EQ(r.packet_bytes[1], 32772u);
}

TEST(PacketRoundTrip, CookieConfiguresAnIndependentDecoder) {
    for (uint32_t channels : {2u, 6u}) {
        const Chans input = correlated(channels, 5000, 24, channels);
        AudioFormat format{48000, 24, channels, 5000};
        std::vector<std::vector<uint8_t>> packets;
        PacketEncoder encoder;
        std::string error;
        ASSERT_TRUE(encoder.start(
            format, false,
            [&](const AlacPacket& p, std::string&) {
                packets.emplace_back(p.data, p.data + p.byte_count);
                return true;
            },
            error));
        std::vector<const int32_t*> pcm;
        for (const auto& ch : input) pcm.push_back(ch.data());
        ASSERT_TRUE(encoder.accept_pcm(pcm.data(), 5000, error));
        ASSERT_TRUE(encoder.finish(error));
        const auto cookie = encoder.magic_cookie();
        MagicCookie config;
        ASSERT_TRUE(read_magic_cookie(cookie.data(), cookie.size(), config, error)) << error;
        AlacDecoder decoder;
        ASSERT_TRUE(decoder.configure(config, error)) << error;
        ASSERT_EQ(packets.size(), 2u);
        uint32_t offset = 0;
        for (const auto& packet : packets) {
            ASSERT_EQ(decoder.decode_frame(packet.data(), packet.size()), AlacDecodeStatus::ok);
            for (uint32_t c = 0; c < channels; ++c)
                for (uint32_t i = 0; i < decoder.frame_count(); ++i)
                    ASSERT_EQ(decoder.channel(c)[i], input[c][offset + i]);
            offset += decoder.frame_count();
        }
        EXPECT_EQ(offset, 5000u);
    }
}

TEST(PacketVerifier, ReportsTheFirstDifferingFrameOfTheStream) {
    const Chans input = correlated(3, 10000, 16, 1);
    Chans altered = input;
    altered[2][9001] += 1;
    altered[1][9003] += 1;
    const RoundTrip r = round_trip(16, input, false, 777, &altered);
    EXPECT_FALSE(r.encoded);
    EXPECT_EQ(r.error,
              "verification failed: decoded audio differs from the input at sample frame 9001");
    EXPECT_EQ(r.mismatch, 9001u);
    EXPECT_EQ(r.status, AlacDecodeStatus::ok);
    EXPECT_EQ(r.verified, 8192u);
}

TEST(PacketVerifier, FrameCountsAndMessages) {
    AudioFormat format{44100, 16, 1, 0};
    PacketVerifier verifier;
    std::string error;
    ASSERT_TRUE(verifier.start(format, error));
    // An uncompressed 2-frame packet compared with 3 frames of PCM: the third
    // frame is missing from the packet.
    framebuild::Bits b;
    framebuild::uncompressed_element(b, 0, 16, 4096, {{5, 6}});
    const auto bytes = b.finish();
    const int32_t samples[3] = {5, 6, 7};
    const int32_t* pcm[1] = {samples};
    auto verify = [&](uint32_t frames) {
        return verifier.verify_packet(bytes.data(), uint32_t(bytes.size()), {}, pcm, frames);
    };
    EXPECT_TRUE(verify(2));
    EXPECT_EQ(verifier.verified_frames(), 2u);
    EXPECT_FALSE(verify(3));
    EXPECT_EQ(verifier.mismatch_frame(), 4u);
    EXPECT_TRUE(verifier.failed());
    // Once failed, it stays failed.
    EXPECT_FALSE(verify(2));

    EXPECT_EQ(verification_success_line(123456789012ull),
              "Verified: 123456789012 sample frames decoded identically.\n");
    EXPECT_EQ(verification_failure_message(0),
              "verification failed: decoded audio differs from the input at sample frame 0");

    format.bits_per_sample = 12;
    EXPECT_FALSE(verifier.start(format, error));
}

struct BitFlipGuard {
    BitFlipGuard(uint64_t packet, uint64_t bit) { set_verifier_bit_flip_for_testing(packet, bit); }
    ~BitFlipGuard() { clear_verifier_bit_flip_for_testing(); }
};

TEST(PacketVerifier, TestSeamFlipsOneBitAndTheMismatchIsCaught) {
    const Chans input = correlated(2, 3 * 4096 + 100, 16, 3);
    {
        // A bit inside the residuals of the second packet.
        BitFlipGuard flip(1, 8 * 2000 + 5);
        const RoundTrip r = round_trip(16, input);
        EXPECT_FALSE(r.encoded);
        EXPECT_GE(r.mismatch, 4096u);
        EXPECT_LT(r.mismatch, 8192u);
        EXPECT_EQ(r.error, verification_failure_message(r.mismatch));
        EXPECT_EQ(r.verified, 4096u);
    }
    {
        // The first bit of the third packet turns its pair tag into 5: a
        // decode failure counts at the packet's first frame.
        BitFlipGuard flip(2, 0);
        const RoundTrip r = round_trip(16, input);
        EXPECT_FALSE(r.encoded);
        EXPECT_EQ(r.mismatch, 8192u);
        EXPECT_EQ(r.status, AlacDecodeStatus::bad_element_tag);
    }
    // Without the seam the same stream verifies.
    const RoundTrip clean = round_trip(16, input);
    EXPECT_TRUE(clean.encoded) << clean.error;
    EXPECT_EQ(clean.verified, input[0].size());
}

TEST(PacketVerifier, AlmostEveryBitFlipOfAMusicPacketIsCaught) {
    // Flips that cannot be seen exist (the mix bits of an unmatrixed pair,
    // a coefficient whose taps see a flat signal), but they are rare.
    const uint32_t frames = 200;
    const Chans input = correlated(2, frames, 20, 11);
    std::vector<uint8_t> packet;
    PacketEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(
        AudioFormat{44100, 20, 2, frames}, false,
        [&](const AlacPacket& p, std::string&) {
            packet.assign(p.data, p.data + p.byte_count);
            return true;
        },
        error));
    const int32_t* pcm[2] = {input[0].data(), input[1].data()};
    ASSERT_TRUE(encoder.accept_pcm(pcm, frames, error));
    ASSERT_TRUE(encoder.finish(error));

    PacketVerifier verifier;
    const uint64_t bits = uint64_t(packet.size()) * 8;
    uint64_t caught = 0;
    for (uint64_t bit = 0; bit < bits; ++bit) {
        std::vector<uint8_t> flipped = packet;
        flipped[bit / 8] ^= uint8_t(0x80u >> (bit % 8));
        ASSERT_TRUE(verifier.start(AudioFormat{44100, 20, 2, frames}, error));
        caught += verifier.verify_packet(flipped.data(), uint32_t(flipped.size()), {}, pcm, frames)
                      ? 0
                      : 1;
    }
    EXPECT_GE(caught * 1000, bits * 995) << caught << " of " << bits;
}

}  // namespace
}  // namespace qv
