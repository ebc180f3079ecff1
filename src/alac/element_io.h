#pragma once
// Helpers shared by the ALAC element coders: little-endian sample loads from
// the interleaved packet and the header fields common to every element.
#include <cstdint>

#include "alac/bit_writer.h"
#include "alac/golomb.h"
#include "alac/predictor.h"

namespace qv {

// Every element codes with a prediction denominator of 2^9.
inline constexpr uint32_t element_den_shift = 9;

inline bool is_coded_bit_depth(int32_t depth) {
    return depth == 16 || depth == 20 || depth == 24 || depth == 32;
}

// Low bytes sent uncoded per sample: 24-bit input 1, 32-bit input 2.
inline uint32_t shifted_bytes_for(int32_t depth) {
    return depth == 32 ? 2 : depth == 24 ? 1 : 0;
}

inline int32_t load_s16(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}
// Sign-extended 3-byte container.
inline int32_t load_s24(const uint8_t* p) {
    return int32_t((uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24)) >> 8;
}
inline int32_t load_s32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                   (uint32_t(p[3]) << 24));
}

// The 16 bits after the element instance: 12 reserved zero bits, then the
// partial, bytes-shifted (2 bits) and uncompressed flags; a partial element
// carries its 32-bit frame count right after them.
inline void write_element_flags(BitWriter& writer, bool partial, uint32_t bytes_shifted,
                                bool uncompressed, uint32_t frames) {
    write_bits(writer, (uint32_t(partial) << 3) | (bytes_shifted << 1) | uint32_t(uncompressed),
               16);
    if (partial) write_bits(writer, frames, 32);
}

// One channel's predictor parameters: mode 0 with denominator shift 9, weight
// factor 4 with the order, then the coefficients.
inline void write_predictor_params(BitWriter& writer, const int16_t* coefs, uint32_t order) {
    write_bits(writer, 9, 8);
    write_bits(writer, 0x80 + order, 8);
    for (uint32_t k = 0; k < order; ++k) write_bits(writer, uint16_t(coefs[k]), 16);
}

// The size `count` residuals would code to.
inline uint32_t coded_bits(const int32_t* residual, uint32_t count, uint32_t chan_bits,
                           int32_t& status) {
    uint32_t bits = 0;
    status = golomb_measure(residual, count, chan_bits, bits);
    return bits;
}

}  // namespace qv
