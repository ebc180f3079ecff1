// Encodes PCM derived from the input through the packet encoder, decodes
// every packet in process and traps unless it matches the PCM exactly.
// Byte 0: bit depth (bits 0-1), channels - 1 (bits 2-4), fast mode (bit 5),
// signal shape (bits 6-7). Byte 1, bits 6-7: the highest instruction-set
// level the kernels may use (portable, AVX2, AVX-512; 3 leaves the host's),
// so that every vector path is fuzzed against the others. Bytes 1-2, the
// low 14 bits: frame count (up to three packets and a bit). The rest: sample
// material, cycled as needed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "alac/common/alac_format.h"
#include "alac/common/simd_level.h"
#include "alac/decoder/packet_verifier.h"
#include "alac/packet_encoder.h"
#include "common/int_width.h"

namespace {

constexpr uint32_t depths[4] = {16, 20, 24, 32};
constexpr uint32_t max_frames = 3 * qv::alac::packet_frames + 200;
constexpr qv::SimdLevel levels[4] = {qv::SimdLevel::portable, qv::SimdLevel::avx2,
                                     qv::SimdLevel::avx512, qv::SimdLevel::avx512};

using qv::sign_extend;

// Four bytes of material as one sample word, read cyclically.
uint32_t word_at(const uint8_t* bytes, size_t size, size_t index) {
    uint32_t w = 0;
    for (size_t k = 0; k < 4; ++k) w = (w << 8) | bytes[(index * 4 + k) % size];
    return w;
}

// Shapes: raw words (noise), a random walk (smooth, compressible), small
// values (zero runs, matrixing), and sparse spikes between zeros.
int32_t next_sample(uint32_t shape, uint32_t word, int32_t previous, uint32_t depth) {
    switch (shape) {
        case 0: return sign_extend(word, depth);
        case 1: {
            const int32_t step = sign_extend(word, 12);
            return sign_extend(static_cast<uint32_t>(previous) + static_cast<uint32_t>(step),
                               depth);
        }
        case 2: return sign_extend(word, 4);
        default: return (word & 0xF0000000u) == 0 ? sign_extend(word, depth) : 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t depth = depths[data[0] & 3];
    const uint32_t channels = 1 + ((data[0] >> 2) & 7);
    const bool fast = (data[0] >> 5) & 1;
    const uint32_t shape = data[0] >> 6;
    qv::set_max_simd_level(levels[data[1] >> 6]);
    const uint32_t frames = 1 + ((uint32_t(data[1] & 0x3F) << 8 | data[2]) % max_frames);
    const uint8_t* material = data + 3;
    const size_t material_size = size - 3;

    std::vector<std::vector<int32_t>> pcm(channels, std::vector<int32_t>(frames));
    size_t index = 0;
    for (uint32_t c = 0; c < channels; ++c) {
        int32_t previous = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            previous =
                next_sample(shape, word_at(material, material_size, index++), previous, depth);
            pcm[c][i] = previous;
        }
    }

    const qv::AudioFormat format{44100, depth, channels, frames};
    qv::PacketVerifier verifier;
    std::string error;
    if (!verifier.start(format, error)) __builtin_trap();
    uint64_t offset = 0;
    qv::PacketEncoder encoder;
    const bool started = encoder.start(
        format, fast,
        [&](const qv::AlacPacket& packet, std::string&) {
            const int32_t* channel_ptrs[8];
            for (uint32_t c = 0; c < channels; ++c) channel_ptrs[c] = pcm[c].data() + offset;
            offset += packet.frame_count;
            if (!verifier.verify_packet(packet.data, packet.byte_count, packet.code_starts,
                                        channel_ptrs, packet.frame_count))
                __builtin_trap();
            return true;
        },
        error);
    if (!started) __builtin_trap();
    const int32_t* channel_ptrs[8];
    for (uint32_t c = 0; c < channels; ++c) channel_ptrs[c] = pcm[c].data();
    if (!encoder.accept_pcm(channel_ptrs, frames, error)) __builtin_trap();
    if (!encoder.finish(error)) __builtin_trap();
    if (verifier.verified_frames() != frames) __builtin_trap();
    return 0;
}
