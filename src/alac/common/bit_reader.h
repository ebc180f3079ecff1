#pragma once
// Most-significant-bit-first reader over a byte range that never touches a
// byte outside it: reads past the end yield zero bits and set a sticky flag.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_order.h"

namespace qv {

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), bit_limit_(size * 8) {}

    // The next 32 bits without consuming them; bits past the end read as 0.
    uint32_t peek32() const {
        const uint64_t word = load_be64(pos_ >> 3);
        return static_cast<uint32_t>((word << (pos_ & 7)) >> 32);
    }

    // Consumes `count` bits (0..32) and returns them right-aligned.
    uint32_t read(uint32_t count) {
        if (count == 0) return 0;
        const uint32_t value = peek32() >> (32 - count);
        skip(count);
        return value;
    }

    bool read_bit() { return read(1) != 0; }

    // Consumes `count` fields of `width` bits (8, 16 or 24) into `out`; the
    // caller has checked that they lie within the bytes. Whole-byte fields
    // all sit at the same bit offset within their bytes, so each is one
    // big-endian load and two shifts.
    void read_byte_fields(uint32_t* out, size_t count, uint32_t width) {
        const size_t step = width / 8;
        const uint32_t offset = pos_ & 7;
        const size_t first = pos_ >> 3;
        if (width == 8) {
            // One byte each, from two neighbouring bytes; written on bytes
            // so that the compiler can take many fields per instruction.
            // The last field's second byte is read only when it has bits.
            const uint8_t* in = data_ + first;
            const size_t paired = offset != 0 ? count : count - (count > 0);
            for (size_t i = 0; i < paired; ++i)
                out[i] = uint8_t((in[i] << offset) | (in[i + 1] >> (8 - offset)));
            if (paired < count) out[paired] = in[paired];
            skip(count * 8);
            return;
        }
        // Four-byte loads for the fields whose load stays inside the bytes.
        const size_t direct =
            size_ >= first + 4 ? std::min(count, (size_ - first - 4) / step + 1) : 0;
        for (size_t i = 0; i < direct; ++i) {
            const uint32_t raw = qv::load_be32(data_ + first + i * step);
            out[i] = (raw << offset) >> (32 - width);
        }
        for (size_t i = direct; i < count; ++i)
            out[i] = static_cast<uint32_t>((load_be64(first + i * step) << offset) >> (64 - width));
        skip(count * width);
    }

    void skip(size_t count) {
        if (count > bit_limit_ - pos_) {
            pos_ = bit_limit_;
            overrun_ = true;
        } else {
            pos_ += count;
        }
    }

    size_t bit_position() const { return pos_; }
    // Moves to bit `position`; one past the end leaves the reader at the end
    // with the overrun flag set, as a read that went there would.
    void move_to(size_t position) {
        pos_ = std::min(position, bit_limit_);
        overrun_ = overrun_ || position > bit_limit_;
    }
    size_t bits_left() const { return bit_limit_ - pos_; }
    // True once any read or skip went past the last byte.
    bool overrun() const { return overrun_; }

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

    // Eight bytes of `data` from `index` on, big-endian; bytes past `size`
    // read as zero.
    static uint64_t load_be64(const uint8_t* data, size_t size, size_t index) {
        if (size >= 8 && index <= size - 8) [[likely]]
            return qv::load_be64(data + index);
        uint8_t bytes[8] = {};
        if (index < size) {
            const size_t have = size - index;
            std::memcpy(bytes, data + index, have < 8 ? have : 8);
        }
        uint64_t word = 0;
        for (uint8_t b : bytes) word = (word << 8) | b;
        return word;
    }

private:
    uint64_t load_be64(size_t index) const { return load_be64(data_, size_, index); }

    const uint8_t* data_;
    size_t size_;
    size_t bit_limit_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

}  // namespace qv
