// --verify inside the whole conversion: one bit flipped in an encoded packet
// (through the verifier's test seam) fails the run with the first differing
// sample frame and leaves nothing in the output folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "alac/decoder/alac_decoder.h"
#include "alac/decoder/packet_verifier.h"
#include "alac/packet_encoder.h"
#include "app/cli_options.h"
#include "app/conversion.h"
#include "m4a/test_folder.h"

namespace qv {
namespace {

constexpr uint32_t packet_frames = 4096;
constexpr uint32_t total_frames = 3 * packet_frames + 700;

// Planar 16-bit stereo: two sines per channel and a little pseudo-random noise.
std::vector<std::vector<int32_t>> music() {
    std::vector<std::vector<int32_t>> pcm(2, std::vector<int32_t>(total_frames));
    uint32_t seed = 12345;
    for (uint32_t c = 0; c < 2; ++c) {
        for (uint32_t i = 0; i < total_frames; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double t = i / 44100.0;
            const double v = 14000 * std::sin(2 * std::numbers::pi * (330 + 110 * c) * t) +
                             6000 * std::sin(2 * std::numbers::pi * (2500 + 700 * c) * t);
            pcm[c][i] = static_cast<int32_t>(v) + static_cast<int32_t>(seed >> 24) - 128;
        }
    }
    return pcm;
}

void write_wav(const std::filesystem::path& path, const std::vector<std::vector<int32_t>>& pcm) {
    std::string bytes;
    auto u16 = [&](uint32_t v) {
        bytes += char(v & 0xFF);
        bytes += char((v >> 8) & 0xFF);
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const uint32_t data_size = total_frames * 4;
    bytes += "RIFF";
    u32(36 + data_size);
    bytes += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    bytes += "data";
    u32(data_size);
    for (uint32_t i = 0; i < total_frames; ++i) {
        u16(static_cast<uint32_t>(pcm[0][i]));
        u16(static_cast<uint32_t>(pcm[1][i]));
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

// The packets the conversion produces, encoded here in process.
std::vector<std::vector<uint8_t>> encode(const std::vector<std::vector<int32_t>>& pcm) {
    std::vector<std::vector<uint8_t>> packets;
    PacketEncoder encoder;
    std::string error;
    const AudioFormat format{44100, 16, 2, total_frames};
    EXPECT_TRUE(encoder.start(
        format, false,
        [&](const AlacPacket& p, std::string&) {
            packets.emplace_back(p.data, p.data + p.byte_count);
            return true;
        },
        error));
    const int32_t* channels[2] = {pcm[0].data(), pcm[1].data()};
    EXPECT_TRUE(encoder.accept_pcm(channels, total_frames, error));
    EXPECT_TRUE(encoder.finish(error));
    return packets;
}

// Where a verifier must report packet `index` with bit `bit` flipped: the
// first frame that decodes differently, or the packet's first frame when it
// no longer decodes. `decodes` tells which of the two it was.
uint64_t expected_mismatch(const std::vector<std::vector<int32_t>>& pcm,
                           std::vector<uint8_t> packet, uint32_t index, uint64_t bit,
                           bool& decodes) {
    packet[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
    AlacDecoder decoder;
    std::string error;
    MagicCookie config;
    config.bit_depth = 16;
    config.channels = 2;
    EXPECT_TRUE(decoder.configure(config, error));
    const uint64_t first = uint64_t{index} * packet_frames;
    decodes = decoder.decode_frame(packet.data(), packet.size()) == AlacDecodeStatus::ok;
    if (!decodes) return first;
    EXPECT_EQ(decoder.frame_count(), packet_frames);
    for (uint32_t i = 0; i < decoder.frame_count(); ++i) {
        for (uint32_t c = 0; c < 2; ++c) {
            if (decoder.channel(c)[i] != pcm[c][first + i]) return first + i;
        }
    }
    ADD_FAILURE() << "bit " << bit << " changes nothing";
    return 0;
}

struct BitFlipGuard {
    BitFlipGuard(uint64_t packet, uint64_t bit) { set_verifier_bit_flip_for_testing(packet, bit); }
    ~BitFlipGuard() { clear_verifier_bit_flip_for_testing(); }
};

class VerifySeam : public ::testing::Test {
protected:
    void SetUp() override {
        write_wav(folder / "in.wav", pcm);
        options.input_path = folder / "in.wav";
        options.output_path = folder / "out.m4a";
        options.verify = true;
        options.quiet = true;
    }

    // Runs the conversion with bit `bit` of packet 1 flipped and checks the
    // failure it must report.
    void expect_failure_at(uint64_t bit, uint64_t frame) {
        {
            BitFlipGuard flip(1, bit);
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            const int code = run_conversion(options, nullptr);
            const std::string err = testing::internal::GetCapturedStderr();
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_EQ(code, 1);
            EXPECT_EQ(err,
                      "Error: verification failed: decoded audio differs from the input "
                      "at sample frame " +
                          std::to_string(frame) + "\n");
            EXPECT_EQ(out, "");
            EXPECT_EQ(folder.names(), std::set<std::string>{"in.wav"});
        }
        // With the seam cleared, the same conversion verifies and finishes.
        testing::internal::CaptureStdout();
        EXPECT_EQ(run_conversion(options, nullptr), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(folder.names(), (std::set<std::string>{"in.wav", "out.m4a"}));
        std::filesystem::remove(folder / "out.m4a");
    }

    test::TestFolder folder;
    const std::vector<std::vector<int32_t>> pcm = music();
    const std::vector<std::vector<uint8_t>> packets = encode(pcm);
    CliOptions options;
};

TEST_F(VerifySeam, AFlipInTheResidualsFailsAtTheFirstDifferingFrame) {
    ASSERT_EQ(packets.size(), 4u);
    const uint64_t bits = packets[1].size() * 8;
    // A flip in the middle of the residual codes, wherever it derails the
    // decoder, is reported inside packet 1.
    bool decodes = false;
    const uint64_t middle = expected_mismatch(pcm, packets[1], 1, bits / 2, decodes);
    EXPECT_GE(middle, packet_frames);
    EXPECT_LT(middle, 2 * packet_frames);
    expect_failure_at(bits / 2, middle);

    // A flip near the packet's end that still decodes changes one of the
    // last samples, and exactly that frame is reported.
    uint64_t bit = bits - 4;
    uint64_t frame = 0;
    for (; bit > bits - 200; --bit) {
        frame = expected_mismatch(pcm, packets[1], 1, bit, decodes);
        if (decodes) break;
    }
    ASSERT_TRUE(decodes) << "no flip near the end of packet 1 keeps it decodable";
    EXPECT_GT(frame, packet_frames);
    EXPECT_LT(frame, 2 * packet_frames);
    expect_failure_at(bit, frame);
}

TEST_F(VerifySeam, APacketThatNoLongerDecodesFailsAtItsFirstFrame) {
    // The first bit turns the pair tag 1 into 5, which no frame may hold.
    bool decodes = true;
    EXPECT_EQ(expected_mismatch(pcm, packets[1], 1, 0, decodes), packet_frames);
    EXPECT_FALSE(decodes);
    expect_failure_at(0, packet_frames);
}

}  // namespace
}  // namespace qv
