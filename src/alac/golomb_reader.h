#pragma once
// The adaptive Golomb-Rice decoder as a stream: each step reads one
// residual and the zero run that may follow it, so that a loop rebuilding
// samples can decode its residuals as it goes. golomb_decode runs it to
// the end of a block.
#include <algorithm>
#include <bit>
#include <cstdint>

#include "alac/alac_decode_status.h"
#include "alac/bit_reader.h"
#include "alac/golomb_decoder.h"

namespace qv::golomb_reader {

// Codewords below nine leading ones are: q ones, a zero, then k bits holding
// r + 1, cut to k - 1 zero bits when r is 0 (r + 1 >= 2 otherwise, so its top
// k - 1 bits are never all zero). Nine ones announce `escape_bits` raw bits.
inline uint32_t read_codeword(BitReader& reader, uint32_t k, uint32_t divisor,
                              uint32_t escape_bits) {
    const uint32_t word = reader.peek32();
    const uint32_t q = static_cast<uint32_t>(std::countl_one(word));
    if (q >= 9) {
        reader.skip(9);
        return reader.read(escape_bits);
    }
    uint32_t tail;
    if (q + 1 + k <= 32) {
        tail = (word << (q + 1)) >> (32 - k);
        if ((tail >> 1) == 0) {
            reader.skip(q + k);
            return q * divisor;
        }
        reader.skip(q + 1 + k);
    } else {
        reader.skip(q + 1);
        tail = reader.read(k - 1);
        if (tail == 0) return q * divisor;
        tail = (tail << 1) | reader.read(1);
    }
    return q * divisor + tail - 1;
}

// 0, 1, 2, 3, 4 ... back to 0, -1, 1, -2, 2 ...
inline int32_t unmap(uint32_t n) { return static_cast<int32_t>((n >> 1) ^ (0u - (n & 1))); }

// Decodes `count` residuals into `out`. `FixedPb` > 0 makes the adaptation
// rate a constant (the cookie's usual 40), which shortens the serial chain
// from one mean to the next. The reader is copied in, so that its position
// stays in a register (through a reference it would go to memory and back
// for every codeword); store() hands it back.
template <uint32_t FixedPb>
class ResidualReader {
public:
    ResidualReader(const BitReader& reader, const GolombDecodeParams& params, int32_t* out,
                   uint32_t count, uint32_t sample_bits)
        : reader_(reader),
          out_(out),
          count_(count),
          sample_bits_(sample_bits),
          pb_(FixedPb != 0 ? FixedPb : params.pb),
          kb_(params.kb),
          mb_(params.mb0) {}

    // Residuals decoded so far; all of them once this reaches the count.
    uint32_t decoded() const { return c_; }

    // One residual, and the zero run after it when the mean is small.
    AlacDecodeStatus step() {
        uint32_t k = 31 - static_cast<uint32_t>(std::countl_zero((mb_ >> 9) + 3));
        k = std::min(k, kb_);
        const uint32_t n = read_codeword(reader_, k, (1u << k) - 1, sample_bits_) + zmode_;
        out_[c_++] = unmap(n);
        // The mean follows the mapped value itself, before the run correction.
        mb_ = mb_ + n * pb_ - ((pb_ * mb_) >> 9);
        if (n > 0xFFFF) [[unlikely]] mb_ = 0xFFFF;
        zmode_ = 0;
        if (mb_ * 4 < 512 && c_ < count_) [[unlikely]] {
            // mb < 128 here, so the run parameter lies in 1..8.
            const uint32_t kz =
                static_cast<uint32_t>(std::countl_zero(mb_)) - 24 + ((mb_ + 16) >> 6);
            const uint32_t run_mask = (1u << kb_) - 1;
            const uint32_t run = read_codeword(reader_, kz, ((1u << kz) - 1) & run_mask, 16);
            if (run > count_ - c_) return AlacDecodeStatus::zero_run_overflow;
            std::fill(out_ + c_, out_ + c_ + run, 0);
            c_ += run;
            // A run cut at the 65535 cap is followed by an ordinary residual.
            zmode_ = run < 65535 ? 1 : 0;
            mb_ = 0;
        }
        return reader_.overrun() ? AlacDecodeStatus::truncated : AlacDecodeStatus::ok;
    }

    // Steps until at least `wanted` residuals (at most the count) are in.
    AlacDecodeStatus decode_to(uint32_t wanted) {
        wanted = std::min(wanted, count_);
        while (c_ < wanted) {
            const AlacDecodeStatus status = step();
            if (status != AlacDecodeStatus::ok) return status;
        }
        return AlacDecodeStatus::ok;
    }

    void store(BitReader& reader) const { reader = reader_; }
    size_t bit_position() const { return reader_.bit_position(); }

private:
    BitReader reader_;
    int32_t* out_;
    uint32_t count_;
    uint32_t sample_bits_;
    uint32_t pb_;
    uint32_t kb_;
    uint32_t mb_;
    uint32_t zmode_ = 0;
    uint32_t c_ = 0;
};

// The reader for the cookie's usual rate, which the one-pass rebuild takes.
using UsualResidualReader = ResidualReader<40>;

}  // namespace qv::golomb_reader
