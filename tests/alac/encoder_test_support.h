#pragma once
// Signals, an encoder harness and a bit reader for the ALAC encoder tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "alac/alac_encoder.h"
#include "alac/common/channel_layout.h"
#include "alac/pcm_interleave.h"

namespace qv::test {

using Planar = std::vector<std::vector<int32_t>>;

inline int32_t full_scale(uint32_t bits) { return int32_t((1ull << (bits - 1)) - 1); }

// A few sines per channel plus a little noise, at about a third of full scale.
inline Planar music_like(uint32_t channels, uint32_t frames, uint32_t bits, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    const double amplitude = 0.3 * full_scale(bits);
    Planar out(channels, std::vector<int32_t>(frames));
    for (uint32_t c = 0; c < channels; ++c) {
        const double f1 = 0.011 + 0.003 * c;
        const double f2 = 0.047 + 0.005 * c;
        for (uint32_t i = 0; i < frames; ++i) {
            const double x = std::sin(f1 * i) + 0.4 * std::sin(f2 * i + c) + 0.01 * jitter(rng);
            out[c][i] = int32_t(std::lround(amplitude * x));
        }
    }
    return out;
}

// Uniform noise over the whole range of the depth.
inline Planar full_scale_noise(uint32_t channels, uint32_t frames, uint32_t bits,
                               uint32_t seed = 7) {
    std::mt19937_64 rng(seed);
    Planar out(channels, std::vector<int32_t>(frames));
    for (auto& channel : out) {
        for (int32_t& s : channel) s = int32_t(int64_t(rng()) >> (64 - bits));
    }
    return out;
}

inline uint32_t format_flags_for(uint32_t bits) {
    return bits == 16 ? 1 : bits == 20 ? 2 : bits == 24 ? 3 : 4;
}

// One initialized ALACEncoder and the buffers to feed it packets.
struct FrameHarness {
    FrameHarness(uint32_t channels_, uint32_t bits_, bool fast = false)
        : channels(channels_), bits(bits_) {
        output.sample_rate = 44100;
        output.format_id = fourcc("alac");
        output.format_flags = format_flags_for(bits);
        output.frames_per_packet = 4096;
        output.channels_per_frame = channels;
        output.bits_per_channel = bits;
        encoder.fast_mode = fast;
        status = encoder.initialize(output);
        out.resize(size_t(encoder.max_output_bytes) + 4);
    }

    // Encodes `pcm` (already in ALAC channel order when it has 3+ channels,
    // since interleave_packet applies the reordering) into one frame.
    std::vector<uint8_t> encode(const Planar& pcm) {
        const uint32_t frames = uint32_t(pcm[0].size());
        const uint32_t frame_bytes = channels * ((bits + 7) / 8);
        std::vector<uint8_t> packed(size_t(frames) * frame_bytes + 1);
        interleave_packet(pcm, bits, frames, packed.data());
        StreamFormat input;
        input.sample_rate = 44100;
        input.format_id = fourcc("lpcm");
        input.format_flags = 12;
        input.bytes_per_packet = frame_bytes;
        input.frames_per_packet = 1;
        input.bytes_per_frame = frame_bytes;
        input.channels_per_frame = channels;
        input.bits_per_channel = bits;
        int32_t io_bytes = int32_t(frames * frame_bytes);
        status = encoder.encode_frame(input, output, packed.data(), out.data(), &io_bytes);
        if (status != 0) return {};
        return std::vector<uint8_t>(out.begin(), out.begin() + io_bytes);
    }

    uint32_t channels;
    uint32_t bits;
    int32_t status = 0;
    StreamFormat output;
    ALACEncoder encoder;
    std::vector<uint8_t> out;
};

// Most-significant-bit-first field reader over a finished frame.
class FieldReader {
public:
    explicit FieldReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint32_t read(uint32_t count) {
        uint64_t value = 0;
        for (uint32_t i = 0; i < count; ++i, ++pos_) {
            const uint32_t byte = pos_ / 8 < bytes_.size() ? bytes_[pos_ / 8] : 0;
            value = (value << 1) | ((byte >> (7 - pos_ % 8)) & 1);
        }
        return uint32_t(value);
    }
    int32_t read_signed(uint32_t count) {
        const uint32_t v = read(count);
        return count == 32 ? int32_t(v) : int32_t(v << (32 - count)) >> (32 - count);
    }
    size_t position() const { return pos_; }

private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
};

// Header of a compressed element up to the coefficients.
struct ElementHeader {
    uint32_t flags = 0;
    uint32_t frame_count = 0;
    uint32_t mix_bits = 0;
    uint32_t mix_res = 0;
    uint32_t mode_shift[2] = {};
    uint32_t weight_order[2] = {};
    std::vector<int32_t> coefs[2];

    bool partial() const { return (flags >> 3) & 1; }
    uint32_t bytes_shifted() const { return (flags >> 1) & 3; }
    bool uncompressed() const { return flags & 1; }
};

inline ElementHeader read_element_header(FieldReader& reader, uint32_t signals) {
    ElementHeader h;
    h.flags = reader.read(16);
    if (h.partial()) h.frame_count = reader.read(32);
    if (h.uncompressed()) return h;
    h.mix_bits = reader.read(8);
    h.mix_res = reader.read(8);
    for (uint32_t s = 0; s < signals; ++s) {
        h.mode_shift[s] = reader.read(8);
        h.weight_order[s] = reader.read(8);
        for (uint32_t k = 0; k < (h.weight_order[s] & 31); ++k) {
            h.coefs[s].push_back(reader.read_signed(16));
        }
    }
    return h;
}

// Walks a frame of uncompressed elements in channel-map order and checks
// every tag, instance number and sample, the end tag and the padding.
inline void expect_verbatim_frame(const std::vector<uint8_t>& frame, const Planar& pcm,
                                  uint32_t bits) {
    const uint32_t channels = uint32_t(pcm.size());
    const uint32_t frames = uint32_t(pcm[0].size());
    const bool partial = frames != 4096;
    FieldReader r(frame);
    uint32_t instances[2] = {};
    for (uint32_t ch = 0; ch < channels;) {
        const uint32_t tag = element_tag_at(channels, ch);
        const uint32_t width = tag == 1 ? 2 : 1;
        ASSERT_EQ(r.read(3), tag) << "position " << ch;
        ASSERT_EQ(r.read(4), instances[tag]++);
        ASSERT_EQ(r.read(16), partial ? 9u : 1u);
        if (partial) {
            ASSERT_EQ(r.read(32), frames);
        }
        for (uint32_t i = 0; i < frames; ++i) {
            for (uint32_t k = 0; k < width; ++k) {
                const uint32_t source = ChannelOrderTable[channels][ch + k];
                ASSERT_EQ(r.read_signed(bits), pcm[source][i]) << "frame " << i;
            }
        }
        ch += width;
    }
    EXPECT_EQ(r.read(3), 7u);
    const size_t end = r.position();
    ASSERT_EQ(frame.size(), (end + 7) / 8);
    EXPECT_EQ(r.read(uint32_t(frame.size() * 8 - end)), 0u);
}

}  // namespace qv::test
