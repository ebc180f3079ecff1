#pragma once
// Helpers shared by the ALAC element coders: sample loads from the
// interleaved packet and the header fields common to every element.
#include <cstdint>

#include "alac/common/alac_format.h"
#include "alac/common/bit_writer.h"
#include "alac/golomb.h"
#include "alac/predictor.h"
#include "common/byte_order.h"

namespace qv {

// Every element codes with a prediction denominator of 2^9.
inline constexpr uint32_t element_den_shift = 9;

inline bool is_coded_bit_depth(int32_t depth) {
    return depth == 16 || depth == 20 || depth == 24 || depth == 32;
}

// Low bytes sent uncoded per sample: 24-bit input 1, 32-bit input 2.
inline uint32_t shifted_bytes_for(int32_t depth) { return depth == 32 ? 2 : depth == 24 ? 1 : 0; }

// Little-endian samples of the interleaved packet.
inline int32_t load_s16(const uint8_t* p) { return int16_t(load_le16(p)); }
inline int32_t load_s32(const uint8_t* p) { return int32_t(load_le32(p)); }

// An element's tag and instance number.
inline void write_element_start(BitWriter& writer, uint32_t tag, uint32_t instance) {
    write_bits(writer, tag, alac::tag_bits);
    write_bits(writer, instance, alac::instance_bits);
}

// The 16 bits after the element instance: the reserved zero bits, then the
// partial, bytes-shifted and uncompressed flags; a partial element carries
// its frame count right after them.
inline void write_element_flags(BitWriter& writer, bool partial, uint32_t bytes_shifted,
                                bool uncompressed, uint32_t frames) {
    write_bits(writer, alac::header_flags(partial, bytes_shifted, uncompressed),
               alac::header_flags_bits);
    if (partial) write_bits(writer, frames, alac::frame_count_bits);
}

// A compressed element's mix fields (both zero for a single channel).
inline void write_mix_params(BitWriter& writer, uint32_t mix_bits, uint32_t mix_res) {
    write_bits(writer, mix_bits, alac::mix_field_bits);
    write_bits(writer, mix_res, alac::mix_field_bits);
}

// One channel's predictor parameters: the mode with the element's
// denominator shift, the weight factor with the order, then the coefficients.
inline void write_predictor_params(BitWriter& writer, const int16_t* coefs, uint32_t order) {
    write_bits(writer, alac::mode_shift_byte(element_den_shift), alac::predictor_byte_bits);
    write_bits(writer, alac::weight_order_byte(order), alac::predictor_byte_bits);
    for (uint32_t k = 0; k < order; ++k) write_bits(writer, uint16_t(coefs[k]), alac::coef_bits);
}

// The size of the element sent uncompressed, after its tag and instance:
// the flags, the frame count when partial, and every sample in full. A
// compressed element must stay below it.
inline uint32_t verbatim_element_bits(uint32_t frames, int32_t depth, uint32_t channels,
                                      bool partial) {
    return frames * uint32_t(depth) * channels + alac::header_flags_bits +
           (partial ? alac::frame_count_bits : 0);
}

// The size `count` residuals would code to.
inline uint32_t coded_bits(const int32_t* residual, uint32_t count, uint32_t chan_bits,
                           int32_t& status) {
    uint32_t bits = 0;
    status = golomb_measure(residual, count, chan_bits, bits);
    return bits;
}

}  // namespace qv
