#include "alac/common/magic_cookie.h"

#include "alac/common/channel_layout.h"
#include "common/byte_order.h"

namespace qv {
namespace {

constexpr uint32_t chan_box_type = fourcc("chan");

void put_u32(uint8_t* p, uint32_t v) { store_be32(p, v); }

}  // namespace

std::vector<uint8_t> write_magic_cookie(const MagicCookie& c) {
    namespace at = alac::cookie;
    const bool with_chan = c.channels >= at::chan_box_min_channels;
    std::vector<uint8_t> out(with_chan ? at::size_with_chan : at::size, 0);
    uint8_t* p = out.data();
    put_u32(p + at::frame_length, c.frame_length);
    p[at::compatible_version] = 0;
    p[at::bit_depth] = uint8_t(c.bit_depth);
    p[at::pb] = uint8_t(c.pb);
    p[at::mb] = uint8_t(c.mb);
    p[at::kb] = uint8_t(c.kb);
    p[at::channels] = uint8_t(c.channels);
    p[at::max_run] = uint8_t(c.max_run >> 8);
    p[at::max_run + 1] = uint8_t(c.max_run);
    put_u32(p + at::max_frame_bytes, c.max_frame_bytes);
    put_u32(p + at::bit_rate, c.bit_rate);
    put_u32(p + at::sample_rate, c.sample_rate);
    if (with_chan) {
        // Version and flags, channel bitmap and description count stay zero.
        put_u32(p + at::chan_box, at::chan_box_size);
        put_u32(p + at::chan_box + 4, chan_box_type);
        put_u32(p + at::chan_layout_tag, ChannelLayoutTags[c.channels <= 8 ? c.channels : 0]);
    }
    return out;
}

bool read_magic_cookie(const uint8_t* data, size_t size, MagicCookie& cookie, std::string& error) {
    namespace at = alac::cookie;
    if (size != at::size && size != at::size_with_chan) {
        error = "ALAC magic cookie has an unexpected size";
        return false;
    }
    if (data[at::compatible_version] != 0) {
        error = "ALAC magic cookie has an unsupported version";
        return false;
    }
    if (size == at::size_with_chan && (load_be32(data + at::chan_box) != at::chan_box_size ||
                                       load_be32(data + at::chan_box + 4) != chan_box_type)) {
        error = "ALAC magic cookie has a malformed channel layout box";
        return false;
    }
    MagicCookie parsed;
    parsed.frame_length = load_be32(data + at::frame_length);
    parsed.bit_depth = data[at::bit_depth];
    parsed.pb = data[at::pb];
    parsed.mb = data[at::mb];
    parsed.kb = data[at::kb];
    parsed.channels = data[at::channels];
    parsed.max_run = (uint32_t(data[at::max_run]) << 8) | data[at::max_run + 1];
    parsed.max_frame_bytes = load_be32(data + at::max_frame_bytes);
    parsed.bit_rate = load_be32(data + at::bit_rate);
    parsed.sample_rate = load_be32(data + at::sample_rate);
    cookie = parsed;
    return true;
}

}  // namespace qv
