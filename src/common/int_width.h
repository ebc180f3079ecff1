#pragma once
// Sign extension from a field width, and whether a value fits one.
#include <cstdint>

namespace qv {

// The low 32 - `shift` bits of `x` (shift 0..31) as a signed value: the
// wrap-around of the codec's filters, whose widths come as such shifts.
inline int32_t keep_low_bits(uint32_t x, uint32_t shift) {
    return static_cast<int32_t>(x << shift) >> shift;
}

// The low `bits` (1..32) bits of `x` as a signed value.
inline int32_t sign_extend(uint32_t x, uint32_t bits) { return keep_low_bits(x, 32 - bits); }

// Whether `x` is representable in `bits` (1..32) signed bits.
inline bool fits_bits(int32_t x, uint32_t bits) {
    return sign_extend(static_cast<uint32_t>(x), bits) == x;
}

}  // namespace qv
