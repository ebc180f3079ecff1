#pragma once
// The ALAC magic cookie, the stream description a decoder needs: written by
// the packet encoder at the end of a stream, read by the decoder's users.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "alac/common/alac_format.h"

namespace qv {

struct MagicCookie {
    uint32_t frame_length = alac::packet_frames;  // frames in every packet but the last
    uint32_t bit_depth = 16;                      // 16, 20, 24 or 32
    uint32_t pb = 40;
    uint32_t mb = 10;
    uint32_t kb = 14;
    uint32_t channels = 2;   // 1..8
    uint32_t max_run = 255;  // carried, not needed to decode
    uint32_t max_frame_bytes = 0;
    uint32_t bit_rate = 0;  // average; 0 when not given
    uint32_t sample_rate = 0;
};

// The 24-byte cookie, followed for 3 to 8 channels by the 'chan' box with
// the channel count's layout tag.
std::vector<uint8_t> write_magic_cookie(const MagicCookie& cookie);

// Reads the 24-byte cookie, or the 48-byte one with its 'chan' box.
bool read_magic_cookie(const uint8_t* data, size_t size, MagicCookie& cookie, std::string& error);

}  // namespace qv
