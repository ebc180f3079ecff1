#pragma once
// Most-significant-bit-first bit writer over a caller's buffer. Copying it
// takes a snapshot; assigning the copy back rewinds the output.
#include <cstdint>

namespace qv {

struct BitWriter {
    uint8_t* cur = nullptr;  // byte that receives the next bit
    uint8_t* end = nullptr;  // one past the last usable byte
    uint32_t bit_index = 0;  // bits of *cur already used, from the top
    uint32_t byte_size = 0;  // usable capacity in bytes
};

// Starts a writer at the beginning of `buffer`; the bytes need not be cleared.
void bit_writer_init(BitWriter& writer, uint8_t* buffer, uint32_t capacity);

// Appends the low `count` bits of `value` (0..32), most significant first.
// No bounds check: callers size the buffer.
void write_bits(BitWriter& writer, uint32_t value, uint32_t count);

// Pads with zero bits to the next byte boundary.
void byte_align(BitWriter& writer);

uint32_t bit_position(const BitWriter& writer);

}  // namespace qv
