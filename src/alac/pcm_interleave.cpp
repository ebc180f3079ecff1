#include "alac/pcm_interleave.h"

#include "alac/common/channel_layout.h"

namespace qv {

namespace {

// One ALAC channel position of every frame: the low `Bytes` bytes of each
// sample moved `Shift` bits up, least significant first.
template <uint32_t Bytes, uint32_t Shift>
void interleave_channel(const int32_t* src, uint8_t* dst, uint32_t frame_bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i, dst += frame_bytes) {
        const uint32_t v = uint32_t(src[i]) << Shift;
        dst[0] = uint8_t(v);
        dst[1] = uint8_t(v >> 8);
        if constexpr (Bytes >= 3) dst[2] = uint8_t(v >> 16);
        if constexpr (Bytes == 4) dst[3] = uint8_t(v >> 24);
    }
}

}  // namespace

void interleave_packet(const std::vector<std::vector<int32_t>>& channel_buffers,
                       uint32_t bits_per_sample, uint32_t count, uint8_t* out) {
    const uint32_t channels = static_cast<uint32_t>(channel_buffers.size());
    const uint32_t bytes = (bits_per_sample + 7) >> 3;
    const uint32_t frame_bytes = bytes * channels;
    for (uint32_t j = 0; j < channels; ++j) {
        const int32_t* src = channel_buffers[ChannelOrderTable[channels][j]].data();
        uint8_t* dst = out + j * bytes;
        switch (bits_per_sample) {
            case 16: interleave_channel<2, 0>(src, dst, frame_bytes, count); break;
            case 20: interleave_channel<3, 4>(src, dst, frame_bytes, count); break;
            case 24: interleave_channel<3, 0>(src, dst, frame_bytes, count); break;
            default: interleave_channel<4, 0>(src, dst, frame_bytes, count); break;
        }
    }
}

}  // namespace qv
