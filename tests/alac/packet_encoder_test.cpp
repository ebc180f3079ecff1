#include "alac/packet_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "alac/encoder_profile.h"
#include "encoder_test_support.h"

namespace qv::test {
namespace {

struct Received {
    std::vector<uint8_t> bytes;
    uint32_t frame_count;
    uint32_t call;  // accept_pcm call during which it arrived
};

// A started PacketEncoder whose sink keeps every packet.
struct PacketHarness {
    PacketHarness(uint32_t channels, uint32_t bits, bool fast = false) {
        format = AudioFormat{44100, bits, channels, 0};
        ok = encoder.start(
            format, fast,
            [this](const AlacPacket& p, std::string& error) {
                packets.push_back({{p.data, p.data + p.byte_count}, p.frame_count, calls});
                if (!reject) return true;
                error = reject_reason;
                return false;
            },
            error);
    }

    bool feed(const Planar& pcm, uint32_t offset, uint32_t count) {
        const int32_t* table[8];
        for (size_t c = 0; c < pcm.size(); ++c) table[c] = pcm[c].data() + offset;
        ++calls;
        return encoder.accept_pcm(table, count, error);
    }

    AudioFormat format;
    PacketEncoder encoder;
    std::vector<Received> packets;
    std::string error = "left over";
    bool ok = false;
    bool reject = false;
    std::string reject_reason;
    uint32_t calls = 0;
};

TEST(PacketEncoder, StartRejectsWhatTheEncoderCannotTake) {
    PacketEncoder e;
    std::string error = "stale";
    EXPECT_FALSE(e.start(AudioFormat{0, 8, 9, 0}, false, nullptr, error));
    EXPECT_EQ(error, "internal error: ALAC packet sink is null");

    const AlacPacketSink sink = [](const AlacPacket&, std::string&) { return true; };
    for (const AudioFormat& f :
         {AudioFormat{0, 16, 2, 0}, AudioFormat{44100, 16, 9, 0}, AudioFormat{44100, 16, 0, 0},
          AudioFormat{44100, 8, 2, 0}, AudioFormat{44100, 18, 2, 0}}) {
        error.clear();
        EXPECT_FALSE(e.start(f, false, sink, error));
        EXPECT_EQ(error, "unsupported ALAC input format");
    }
    EXPECT_TRUE(e.magic_cookie().empty());
    const int32_t sample = 0;
    const int32_t* table[1] = {&sample};
    EXPECT_FALSE(e.accept_pcm(table, 1, error));
    EXPECT_EQ(error, "ALAC encoder is not accepting PCM");
    EXPECT_TRUE(e.finish(error));
}

// 10000 frames in one block: two full packets at once, the remaining 1808
// frames as a partial packet from finish; nothing more afterwards.
TEST(PacketEncoder, CutsBlocksIntoFullPacketsAndAPartialLastOne) {
    PacketHarness h(2, 16);
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.error, "");
    const Planar pcm = music_like(2, 10000, 16);
    ASSERT_TRUE(h.feed(pcm, 0, 10000));
    ASSERT_EQ(h.packets.size(), 2u);
    ASSERT_TRUE(h.encoder.finish(h.error));
    ASSERT_TRUE(h.encoder.finish(h.error));
    ASSERT_EQ(h.packets.size(), 3u);
    EXPECT_EQ(h.packets[0].frame_count, 4096u);
    EXPECT_EQ(h.packets[1].frame_count, 4096u);
    EXPECT_EQ(h.packets[2].frame_count, 1808u);
    FieldReader r(h.packets[2].bytes);
    r.read(7);
    const ElementHeader head = read_element_header(r, 2);
    EXPECT_TRUE(head.partial());
    EXPECT_EQ(head.frame_count, 1808u);

    // The same input in one-frame blocks gives the same packets, each one
    // arriving on every 4096th call.
    PacketHarness single(2, 16);
    for (uint32_t i = 0; i < 10000; ++i) ASSERT_TRUE(single.feed(pcm, i, 1));
    ASSERT_TRUE(single.encoder.finish(single.error));
    ASSERT_EQ(single.packets.size(), 3u);
    EXPECT_EQ(single.packets[0].call, 4096u);
    EXPECT_EQ(single.packets[1].call, 8192u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(single.packets[k].bytes, h.packets[k].bytes);

    EXPECT_FALSE(h.feed(pcm, 0, 1));
    EXPECT_EQ(h.error, "ALAC encoder is not accepting PCM");
}

TEST(PacketEncoder, ExactMultipleLeavesNothingForFinish) {
    PacketHarness h(1, 24);
    const Planar pcm = music_like(1, 8192, 24);
    ASSERT_TRUE(h.feed(pcm, 0, 100));
    ASSERT_TRUE(h.feed(pcm, 100, 0));
    ASSERT_TRUE(h.feed(pcm, 100, 8092));
    EXPECT_EQ(h.packets.size(), 2u);
    ASSERT_TRUE(h.encoder.finish(h.error));
    EXPECT_EQ(h.packets.size(), 2u);
}

// 24 bytes: frame length, version, depth, pb, mb, kb, channels, max run,
// max frame bytes, bit rate, sample rate.
TEST(PacketEncoder, StereoMagicCookie) {
    PacketHarness h(2, 20);
    const Planar pcm = music_like(2, 5000, 20);
    ASSERT_TRUE(h.feed(pcm, 0, 5000));
    ASSERT_TRUE(h.encoder.finish(h.error));
    uint32_t largest = 0;
    for (const Received& p : h.packets)
        largest = std::max<uint32_t>(largest, uint32_t(p.bytes.size()));
    const std::vector<uint8_t> expected = {0x00,
                                           0x00,
                                           0x10,
                                           0x00,
                                           0x00,
                                           20,
                                           0x28,
                                           0x0A,
                                           0x0E,
                                           0x02,
                                           0x00,
                                           0xFF,
                                           uint8_t(largest >> 24),
                                           uint8_t(largest >> 16),
                                           uint8_t(largest >> 8),
                                           uint8_t(largest),
                                           0,
                                           0,
                                           0,
                                           0,
                                           0x00,
                                           0x00,
                                           0xAC,
                                           0x44};
    EXPECT_EQ(h.encoder.magic_cookie(), expected);
}

// WAV order L, R, C, LFE, BL, BR is coded as single C, pair L/R, pair
// BL/BR, single LFE; the cookie names the 5.1 layout.
TEST(PacketEncoder, SixChannelsInAlacOrder) {
    PacketHarness h(6, 16);
    const Planar pcm = full_scale_noise(6, 4096, 16);
    ASSERT_TRUE(h.feed(pcm, 0, 4096));
    ASSERT_EQ(h.packets.size(), 1u);
    struct Element {
        uint32_t tag, instance;
        std::vector<uint32_t> sources;
    };
    const Element layout[] = {{0, 0, {2}}, {1, 0, {0, 1}}, {1, 1, {4, 5}}, {0, 1, {3}}};
    FieldReader r(h.packets[0].bytes);
    for (const Element& e : layout) {
        ASSERT_EQ(r.read(3), e.tag);
        ASSERT_EQ(r.read(4), e.instance);
        ASSERT_EQ(r.read(16), 1u);
        for (uint32_t i = 0; i < 4096; ++i) {
            for (uint32_t source : e.sources) ASSERT_EQ(r.read_signed(16), pcm[source][i]);
        }
    }
    EXPECT_EQ(r.read(3), 7u);

    ASSERT_TRUE(h.encoder.finish(h.error));
    const std::vector<uint8_t> cookie = h.encoder.magic_cookie();
    ASSERT_EQ(cookie.size(), 48u);
    EXPECT_EQ(cookie[9], 6);
    const std::vector<uint8_t> chan(cookie.begin() + 24, cookie.end());
    EXPECT_EQ(chan, (std::vector<uint8_t>{0,    0,    0,    24,   'c', 'h', 'a', 'n', 0, 0, 0, 0,
                                          0x00, 0x7C, 0x00, 0x06, 0,   0,   0,   0,   0, 0, 0, 0}));
}

TEST(PacketEncoder, SinkRefusal) {
    PacketHarness h(2, 16);
    h.reject = true;
    const Planar pcm = music_like(2, 4097, 16);
    h.error.clear();
    EXPECT_FALSE(h.feed(pcm, 0, 4097));
    EXPECT_EQ(h.error, "ALAC packet sink rejected encoded data");
    EXPECT_EQ(h.packets.size(), 1u);

    // The full buffers are kept: the next PCM retries that packet first (it
    // codes differently, since the predictor kept adapting).
    h.reject_reason = "disk full";
    h.error.clear();
    EXPECT_FALSE(h.feed(pcm, 4096, 1));
    EXPECT_EQ(h.error, "disk full");
    ASSERT_EQ(h.packets.size(), 2u);
    EXPECT_EQ(h.packets[1].frame_count, 4096u);
    h.reject = false;
    EXPECT_TRUE(h.feed(pcm, 4096, 1));
    ASSERT_TRUE(h.encoder.finish(h.error));
    ASSERT_EQ(h.packets.size(), 4u);
    EXPECT_EQ(h.packets[3].frame_count, 1u);
}

TEST(PacketEncoder, ProfileBooksEachPacketOnce) {
    constexpr uint64_t n = 2;
    for (bool fast : {false, true}) {
        PacketHarness h(2, 16, fast);
        reset_encoder_profile();
        set_profiling_enabled(true);
        const Planar pcm = music_like(2, 4096 * n, 16);
        ASSERT_TRUE(h.feed(pcm, 0, 4096 * n));
        set_profiling_enabled(false);
        const StageCounter* s = encoder_profile.stages;
        EXPECT_EQ(s[stage_encode_total].calls, n);
        EXPECT_EQ(s[stage_interleave].calls, n);
        EXPECT_EQ(s[stage_packet_sink].calls, n);
        EXPECT_EQ(s[stage_mix16].calls, (fast ? 1 : 6) * n);
        EXPECT_EQ(s[stage_predictor].calls, (fast ? 2 : 44) * n);
        EXPECT_EQ(s[stage_golomb].calls, (fast ? 2 : 16) * n);
        EXPECT_GT(s[stage_encode_total].cycles, 0u);
        reset_encoder_profile();
    }
}

}  // namespace
}  // namespace qv::test
