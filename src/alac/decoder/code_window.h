#pragma once
// The two views of a frame's residual codes that the residual reader takes:
// a register window refilled without branches, and one reloaded for every
// codeword. Both read the stream top bit first, see zeros past its last
// byte and report that as an overrun.
#include <cstddef>
#include <cstdint>

#include "alac/common/bit_reader.h"
#include "common/byte_order.h"

namespace qv::golomb_reader {

// Eight bytes from `index` on, big-endian; `last_whole` is size - 8 (the
// last index with eight bytes from it), so that the usual case is one
// compare. Bytes past the end read as zero.
inline uint64_t load_codes(const uint8_t* data, size_t size, ptrdiff_t last_whole, size_t index) {
    if (static_cast<ptrdiff_t>(index) <= last_whole) [[likely]]
        return load_be64(data + index);
    return BitReader::load_be64(data, size, index);
}

// The codes seen through a 64-bit register, top bit first: after fill() it
// holds at least the next 56 bits. A fill loads the eight bytes that follow
// the bits held and ORs them in below; whole bytes only count as taken, so
// the bits below the count are either zero or the right stream bits, and
// the OR leaves them right. Keeping the window in a register keeps the
// position out of the serial chain from one codeword to the next, which
// otherwise runs through a load for every codeword. Past the last byte the
// stream reads as zeros; overrun() tells.
class CodeWindow {
public:
    explicit CodeWindow(const BitReader& reader)
        : data_(reader.data()),
          size_(reader.size()),
          last_whole_(static_cast<ptrdiff_t>(reader.size()) - 8),
          next_(reader.bit_position() >> 3) {
        fill();
        consume(static_cast<uint32_t>(reader.bit_position() & 7));
    }

    void fill() {
        bits_ |= load_codes(data_, size_, last_whole_, next_) >> held_;
        // The whole bytes that were not held before: (63 - held) / 8.
        next_ += 7 - (held_ >> 3);
        held_ |= 56;
    }
    uint64_t bits() const { return bits_; }
    // Drops `count` bits, at most those held.
    void consume(uint32_t count) {
        bits_ <<= count;
        held_ -= count;
    }
    size_t position() const { return next_ * 8 - held_; }
    bool overrun() const { return position() > size_ * 8; }
    // Hands the position back to `reader`, with its overrun flag if set.
    void store(BitReader& reader) const { reader.move_to(position()); }

private:
    const uint8_t* data_;
    size_t size_;
    ptrdiff_t last_whole_;  // see load_codes
    size_t next_;           // the first byte not yet loaded
    uint64_t bits_ = 0;
    uint32_t held_ = 0;
};

// The same view of the codes, loaded afresh from the bit position whenever
// they are looked at (at least 57 bits then), so that fill() has nothing to
// do. Its serial chain runs through a load, but it keeps only the position
// from one codeword to the next, which suits a loop that runs two readers
// beside a filter: there the registers run short long before the chains do,
// and a window held in memory would cost a store for every codeword.
class ReloadWindow {
public:
    explicit ReloadWindow(const BitReader& reader)
        : data_(reader.data()),
          size_(reader.size()),
          last_whole_(static_cast<ptrdiff_t>(reader.size()) - 8),
          pos_(reader.bit_position()) {}

    void fill() {}
    uint64_t bits() const { return load_codes(data_, size_, last_whole_, pos_ >> 3) << (pos_ & 7); }
    void consume(uint32_t count) { pos_ += count; }
    size_t position() const { return pos_; }
    bool overrun() const { return pos_ > size_ * 8; }
    void store(BitReader& reader) const { reader.move_to(pos_); }

private:
    const uint8_t* data_;
    size_t size_;
    ptrdiff_t last_whole_;  // see load_codes
    size_t pos_;
};

// The next `count` bits (0..32) of either window, right-aligned, taken;
// at most those it holds.
template <typename Window>
uint32_t take(Window& window, uint32_t count) {
    if (count == 0) return 0;
    const uint32_t value = static_cast<uint32_t>(window.bits() >> (64 - count));
    window.consume(count);
    return value;
}

}  // namespace qv::golomb_reader
