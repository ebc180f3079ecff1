// The specialised block unpackers against a plain sample-by-sample reference.
#include "input/wav_samples.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace qv {
namespace {

// One sample as the format describes it: the container's bytes as a signed
// value, then shifted down past the padding bits.
int32_t reference_sample(const uint8_t* p, uint32_t container_bits, uint32_t valid_bits) {
    int32_t value = 0;
    if (container_bits == 16) {
        value = int16_t(uint16_t(p[0] | p[1] << 8));
    } else if (container_bits == 24) {
        const uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        value = (u & 0x800000) ? int32_t(u) - 0x1000000 : int32_t(u);
    } else {
        value = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                        uint32_t(p[3]) << 24);
    }
    if (valid_bits < container_bits) {
        value >>= container_bits - valid_bits;
    }
    return value;
}

struct Layout {
    uint32_t container;
    uint32_t valid;
};

constexpr Layout kAccepted[] = {{16, 16}, {24, 16}, {24, 20}, {24, 24},
                                {32, 16}, {32, 20}, {32, 24}, {32, 32}};

TEST(WavSamples, EveryUnpackerMatchesTheReference) {
    std::mt19937 random(20240611);
    for (const Layout& layout : kAccepted) {
        for (uint32_t channels = 1; channels <= 8; ++channels) {
            const WavBlockUnpacker unpack =
                select_wav_unpacker(layout.container, layout.valid, channels);
            ASSERT_NE(unpack, nullptr);
            const uint32_t bytes = layout.container / 8;
            for (uint32_t frames : {1u, 3u, 17u, 4095u, 4096u}) {
                SCOPED_TRACE(testing::Message() << layout.container << "/" << layout.valid << " ch "
                                                << channels << " frames " << frames);
                std::vector<uint8_t> raw(size_t(frames) * channels * bytes + kWavUnpackSlack);
                for (uint8_t& b : raw) {
                    b = uint8_t(random());
                }
                std::vector<std::vector<int32_t>> planes(channels,
                                                         std::vector<int32_t>(frames, 0x5A5A5A5A));
                std::vector<int32_t*> table;
                for (auto& plane : planes) {
                    table.push_back(plane.data());
                }
                unpack(raw.data(), frames, table.data());
                for (uint32_t c = 0; c < channels; ++c) {
                    for (uint32_t i = 0; i < frames; ++i) {
                        const uint8_t* p = raw.data() + (size_t(i) * channels + c) * bytes;
                        ASSERT_EQ(planes[c][i], reference_sample(p, layout.container, layout.valid))
                            << "channel " << c << " frame " << i;
                    }
                }
            }
        }
    }
}

TEST(WavSamples, NoUnpackerForRefusedLayouts) {
    EXPECT_EQ(select_wav_unpacker(16, 20, 2), nullptr);
    EXPECT_EQ(select_wav_unpacker(24, 32, 2), nullptr);
    EXPECT_EQ(select_wav_unpacker(8, 8, 1), nullptr);
    EXPECT_EQ(select_wav_unpacker(16, 16, 0), nullptr);
    EXPECT_EQ(select_wav_unpacker(16, 16, 9), nullptr);
}

}  // namespace
}  // namespace qv
