#pragma once
// Packs one packet of planar 32-bit PCM into the interleaved little-endian
// layout the ALAC frame encoder reads, in ALAC channel order.
#include <cstdint>
#include <vector>

namespace qv {

// Frame i, ALAC position j gets channel_buffers[ChannelOrderTable[n][j]][i] in
// (bits + 7) / 8 bytes; 20-bit samples sit in the top of their 3-byte
// container. `out` holds count * channels * bytes bytes.
void interleave_packet(const std::vector<std::vector<int32_t>>& channel_buffers,
                       uint32_t bits_per_sample, uint32_t count, uint8_t* out);

}  // namespace qv
