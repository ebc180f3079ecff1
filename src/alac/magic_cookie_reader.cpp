#include "alac/alac_decoder.h"

namespace qv {
namespace {

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

// Layout: frame length (4), compatible version (1), bit depth, pb, mb, kb,
// channels (1 each), max run (2), max frame bytes, average bit rate, sample
// rate (4 each); then optionally a 24-byte 'chan' box.
bool parse_alac_magic_cookie(const uint8_t* data, size_t size, AlacDecoderConfig& config,
                             std::string& error) {
    if (size != 24 && size != 48) {
        error = "ALAC magic cookie has an unexpected size";
        return false;
    }
    if (data[4] != 0) {
        error = "ALAC magic cookie has an unsupported version";
        return false;
    }
    if (size == 48 && (be32(data + 24) != 24 || be32(data + 28) != 0x6368616E)) {
        error = "ALAC magic cookie has a malformed channel layout box";
        return false;
    }
    AlacDecoderConfig parsed;
    parsed.frame_length = be32(data);
    parsed.bit_depth = data[5];
    parsed.pb = data[6];
    parsed.mb = data[7];
    parsed.kb = data[8];
    parsed.channels = data[9];
    parsed.max_run = (uint32_t(data[10]) << 8) | data[11];
    config = parsed;
    return true;
}

}  // namespace qv
