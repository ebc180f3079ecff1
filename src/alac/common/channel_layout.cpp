#include "alac/common/channel_layout.h"

namespace qv {

// Front centre comes first, then the front pair, the rear or side pairs,
// and the low-frequency channel last.
const uint8_t ChannelOrderTable[9][8] = {
    {},
    {0},
    {0, 1},
    {2, 0, 1},
    {2, 0, 1, 3},
    {2, 0, 1, 3, 4},
    {2, 0, 1, 4, 5, 3},
    {2, 0, 1, 4, 5, 6, 3},
    {2, 6, 7, 0, 1, 4, 5, 3},
};

const uint32_t ChannelLayoutTags[9] = {
    0,
    0x640001,  // Mono
    0x650002,  // Stereo
    0x710003,  // MPEG_3_0_B
    0x740004,  // MPEG_4_0_B
    0x780005,  // MPEG_5_0_D
    0x7C0006,  // MPEG_5_1_D
    0x8E0007,  // AAC_6_1
    0x7F0008,  // MPEG_7_1_B
};

const uint32_t ChannelElementMap[9] = {
    0,
    0x0,     // single
    0x1,     // pair
    0x8,     // single, pair
    0x8,     // single, pair, single
    0x208,   // single, pair, pair
    0x208,   // single, pair, pair, single
    0x208,   // single, pair, pair, single, single
    0x8208,  // single, pair, pair, pair, single
};

}  // namespace qv
