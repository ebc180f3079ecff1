// Each accepted layout gets its own instantiation so that the sample width,
// the shift and the frame stride are constants inside the loops.
#include "input/wav_samples.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <utility>

#include "common/byte_order.h"

namespace qv {
namespace {

constexpr uint32_t kMaxChannels = 8;

// The container's bits moved to the top of a 32-bit word, then shifted down
// arithmetically: that sign-extends from the container's top bit and drops
// the padding bits below the valid ones in one step.
template <uint32_t Bytes, uint32_t Valid>
int32_t load_sample(const uint8_t* p) {
    uint32_t top;
    if constexpr (Bytes == 2) {
        top = uint32_t(load_le16(p)) << 16;
    } else if constexpr (Bytes == 3) {
        top = load_le32(p) << 8;  // the fourth byte falls off the top
    } else {
        top = load_le32(p);
    }
    return static_cast<int32_t>(top) >> (32 - Valid);
}

// One channel at a time: a single output stream per loop lets the compiler
// vectorise the strided loads without alias checks between planes.
template <uint32_t Bytes, uint32_t Valid, uint32_t Channels>
void unpack_channel(const uint8_t* __restrict src, uint32_t frames, int32_t* __restrict dst) {
    constexpr size_t stride = size_t(Bytes) * Channels;
    for (uint32_t i = 0; i < frames; ++i) {
        dst[i] = load_sample<Bytes, Valid>(src + i * stride);
    }
}

template <uint32_t Bytes, uint32_t Valid, uint32_t Channels>
void unpack_block(const uint8_t* raw, uint32_t frames, int32_t* const* planes) {
    for (uint32_t c = 0; c < Channels; ++c) {
        unpack_channel<Bytes, Valid, Channels>(raw + c * Bytes, frames, planes[c]);
    }
}

template <uint32_t Bytes, uint32_t Valid, size_t... Index>
constexpr std::array<WavBlockUnpacker, kMaxChannels> unpackers_by_channels(
    std::index_sequence<Index...>) {
    return {&unpack_block<Bytes, Valid, uint32_t(Index + 1)>...};
}

template <uint32_t Bytes, uint32_t Valid>
WavBlockUnpacker pick(uint32_t channels) {
    static constexpr auto table =
        unpackers_by_channels<Bytes, Valid>(std::make_index_sequence<kMaxChannels>{});
    return table[channels - 1];
}

}  // namespace

WavBlockUnpacker select_wav_unpacker(uint32_t container_bits, uint32_t valid_bits,
                                     uint32_t channels) {
    if (channels < 1 || channels > kMaxChannels) {
        return nullptr;
    }
    switch (container_bits << 8 | valid_bits) {
        case 16 << 8 | 16: return pick<2, 16>(channels);
        case 24 << 8 | 16: return pick<3, 16>(channels);
        case 24 << 8 | 20: return pick<3, 20>(channels);
        case 24 << 8 | 24: return pick<3, 24>(channels);
        case 32 << 8 | 16: return pick<4, 16>(channels);
        case 32 << 8 | 20: return pick<4, 20>(channels);
        case 32 << 8 | 24: return pick<4, 24>(channels);
        case 32 << 8 | 32: return pick<4, 32>(channels);
        default: return nullptr;
    }
}

}  // namespace qv
