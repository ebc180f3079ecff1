#pragma once
// Where each source channel goes in an ALAC packet, which elements the
// packet's channel positions form, and the layout tag of each channel count.
#include <cstdint>

namespace qv {

// ChannelOrderTable[n][j]: the source channel (input order) that fills ALAC
// channel position j of an n-channel packet.
extern const uint8_t ChannelOrderTable[9][8];

// ChannelLayoutTags[n]: layout tag code in the high 16 bits, n in the low 16.
extern const uint32_t ChannelLayoutTags[9];

// ChannelElementMap[n]: three bits per channel position, the element tag
// (0 single channel, 1 channel pair) of the element starting there.
extern const uint32_t ChannelElementMap[9];

inline uint32_t element_tag_at(uint32_t channels, uint32_t position) {
    return (ChannelElementMap[channels] >> (3 * position)) & 7;
}

}  // namespace qv
