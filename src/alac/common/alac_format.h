#pragma once
// The ALAC bitstream's layout and fixed numbers, in one place for the
// encoder, the decoder, the magic cookie and the tests' frame builder.
//
// One packet is one frame: the elements of the channel layout in order (a
// single channel or a channel pair each), then the end tag, then zero bits
// to the next byte.
//
//   element   tag:3 instance:4 reserved:12 partial:1 bytes_shifted:2 uncompressed:1
//             [frame_count:32, only when partial]
//   compressed    mix_bits:8 mix_res:8
//                 per channel: mode:4 den_shift:4  weight:3 order:5  coef:16 x order
//                 low bits shifted off, frame by frame: 8*bytes_shifted per channel
//                 per channel: adaptive Golomb-Rice residual codes
//   uncompressed  every sample at the full bit depth, frame by frame
//   end           tag:3 = 7, then zero padding to a byte
//
// A single-channel element's mix fields are zero. Golomb codewords below
// the escape prefix are Rice codes; the prefix is followed by the value in
// the channel's width (a residual) or in 16 bits (a zero run).
#include <cstdint>

namespace qv::alac {

// Sample frames in every packet but the last.
inline constexpr uint32_t packet_frames = 4096;

// Element tags.
inline constexpr uint32_t tag_bits = 3;
inline constexpr uint32_t tag_single = 0;
inline constexpr uint32_t tag_pair = 1;
inline constexpr uint32_t tag_end = 7;
inline constexpr uint32_t instance_bits = 4;

// The element header after the instance.
inline constexpr uint32_t reserved_bits = 12;
inline constexpr uint32_t bytes_shifted_bits = 2;
inline constexpr uint32_t header_flags_bits = reserved_bits + 1 + bytes_shifted_bits + 1;
inline constexpr uint32_t frame_count_bits = 32;

// The flags in the low bits of the 16-bit header field.
inline constexpr uint32_t header_flags(bool partial, uint32_t bytes_shifted, bool uncompressed) {
    return (uint32_t(partial) << 3) | (bytes_shifted << 1) | uint32_t(uncompressed);
}

// Compressed element fields.
inline constexpr uint32_t mix_field_bits = 8;  // mix_bits and mix_res each
inline constexpr uint32_t predictor_byte_bits = 8;
inline constexpr uint32_t coef_bits = 16;
inline constexpr uint32_t prediction_mode = 0;   // the only mode
inline constexpr uint32_t predictor_weight = 4;  // the only weight factor

// Mode in the high nibble, prediction shift in the low one.
inline constexpr uint32_t mode_shift_byte(uint32_t den_shift) {
    return (prediction_mode << 4) | den_shift;
}
inline constexpr uint32_t mode_of(uint32_t byte) { return byte >> 4; }
inline constexpr uint32_t den_shift_of(uint32_t byte) { return byte & 15; }

// Weight factor in the high three bits, order in the low five.
inline constexpr uint32_t weight_order_byte(uint32_t order) {
    return (predictor_weight << 5) | order;
}
inline constexpr uint32_t weight_of(uint32_t byte) { return byte >> 5; }
inline constexpr uint32_t order_of(uint32_t byte) { return byte & 31; }

// Golomb-Rice codes: nine 1-bits announce an escape.
inline constexpr uint32_t escape_prefix = 0x1FF;
inline constexpr uint32_t escape_prefix_bits = 9;
inline constexpr uint32_t max_rice_quotient = 9;
inline constexpr uint32_t max_rice_code_bits = 25;  // a longer codeword escapes
inline constexpr uint32_t run_escape_bits = 16;     // an escaped zero-run count
inline constexpr uint32_t max_zero_run = 65535;

// Output capacity: a frame never needs more than 5 bytes per sample, plus one.
inline constexpr uint32_t max_bytes_per_sample = 5;
inline constexpr uint32_t max_frame_bytes(uint32_t channels, uint32_t frames) {
    return channels * frames * max_bytes_per_sample + 1;
}

// The magic cookie: 24 bytes, big-endian, then a 'chan' box of 24 bytes for
// 3 to 8 channels.
namespace cookie {
inline constexpr uint32_t frame_length = 0;  // 4 bytes
inline constexpr uint32_t compatible_version = 4;
inline constexpr uint32_t bit_depth = 5;
inline constexpr uint32_t pb = 6;
inline constexpr uint32_t mb = 7;
inline constexpr uint32_t kb = 8;
inline constexpr uint32_t channels = 9;
inline constexpr uint32_t max_run = 10;          // 2 bytes
inline constexpr uint32_t max_frame_bytes = 12;  // 4 bytes
inline constexpr uint32_t bit_rate = 16;         // 4 bytes, average
inline constexpr uint32_t sample_rate = 20;      // 4 bytes
inline constexpr uint32_t size = 24;
// The 'chan' box: size, type, version and flags, layout tag, channel bitmap,
// number of channel descriptions (4 bytes each).
inline constexpr uint32_t chan_box = 24;
inline constexpr uint32_t chan_box_size = 24;
inline constexpr uint32_t chan_layout_tag = chan_box + 12;
inline constexpr uint32_t size_with_chan = size + chan_box_size;
inline constexpr uint32_t chan_box_min_channels = 3;
}  // namespace cookie

}  // namespace qv::alac
