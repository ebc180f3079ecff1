#pragma once
// The adaptive Golomb-Rice coder as a stream: residuals go in one at a time
// and their codewords come out at once, zero runs included, so that a loop
// that makes residuals can also code them as it goes. golomb_encode and
// golomb_measure are built on it.
#include <array>
#include <bit>
#include <cstdint>

#include "alac/common/alac_format.h"
#include "alac/common/golomb_params.h"
#include "common/byte_order.h"

namespace qv::golomb_coder {

inline constexpr uint32_t fast_divisor_bits = 14;

// ceil(2^32 / (2^k - 1)): for v < 9 * (2^k - 1) and k <= 14, (v * inv) >> 32
// is exactly v / (2^k - 1), since v then has at most 18 bits.
constexpr std::array<uint64_t, fast_divisor_bits + 1> make_reciprocals() {
    std::array<uint64_t, fast_divisor_bits + 1> inv{};
    for (uint32_t k = 1; k <= fast_divisor_bits; ++k) {
        const uint64_t m = (uint64_t{1} << k) - 1;
        inv[k] = ((uint64_t{1} << 32) + m - 1) / m;
    }
    return inv;
}
inline constexpr auto reciprocal = make_reciprocals();

// The coder's output position: whole bytes go out through `cur`, and the
// 0..7 bits of the byte at `cur` that are already written sit at the top of
// `pending`. Every codeword is merged in and the top 32 bits stored at
// `cur`, so no byte is ever read back; the store may cover up to three
// bytes past the last bit written (the buffer's 4 bytes of slack).
struct CodeSink {
    uint8_t* cur;
    uint64_t pending;  // written bits of *cur, left-aligned
    uint32_t used;     // how many, 0..7

    CodeSink(uint8_t* byte, uint32_t bit_index)
        : cur(byte),
          pending(bit_index == 0 ? 0 : uint64_t(*byte >> (8 - bit_index)) << (64 - bit_index)),
          used(bit_index) {}

    // Appends the low `len` (1..25) bits of `code`.
    void put(uint32_t code, uint32_t len) {
        used += len;
        pending |= uint64_t(code) << (64 - used);
        store_be32(cur, uint32_t(pending >> 32));
        const uint32_t bytes = used >> 3;
        cur += bytes;
        pending <<= 8 * bytes;
        used &= 7;
    }
};

// Counts the bits instead of writing them, for sizing a candidate.
struct BitCount {
    uint32_t bits = 0;
    void put(uint32_t, uint32_t len) { bits += len; }
};

// The Rice codeword for quotient q and remainder r with parameter k: q
// 1-bits, a 0, then r + 1 in k bits, or only k - 1 zero bits when r = 0.
// Returns the code and sets `len`.
inline uint32_t rice_code(uint32_t q, uint32_t r, uint32_t k, uint32_t& len) {
    const uint32_t d = r == 0;
    len = q + k + 1 - d;
    return (((1u << q) - 1) << (len - q)) + r + 1 - d;
}

// A codeword of the rare kinds, as one or two fields (len[1] is 0 for one).
struct RareCode {
    uint32_t code[2];
    uint32_t len[2];
};

// A residual outside the multiplication's range: its Rice codeword, or else
// nine 1-bits and the low `sample_bits` (1..32) bits of `v`.
RareCode rare_residual_code(uint32_t v, uint32_t k, uint32_t m, uint32_t sample_bits);

// The count of a zero run, coded with a parameter from the mean; escaped as
// nine 1-bits and the count in 16 bits.
RareCode zero_run_code(uint32_t nz, uint32_t mb, uint32_t wb);

// Codes exactly `count` residuals, handed over in order by feed(), into
// `Sink` (CodeSink or BitCount); finish() after the last one.
template <typename Sink>
class ResidualCoder {
public:
    // `sample_bits` (1..32) is the width of an escaped residual.
    ResidualCoder(Sink& out, uint32_t count, const GolombParams& params, uint32_t sample_bits)
        : out_(out), set_(params), sample_bits_(sample_bits), left_(count), mb_(params.mb0) {}

    void feed(int32_t residual) {
        --left_;
        // While the mean is small, zeros only lengthen a run, and the run's
        // count goes out before the next other residual.
        if (in_run_) [[unlikely]] {
            if (residual == 0) {
                if (++run_ == alac::max_zero_run) end_run(0);
                return;
            }
            end_run(1);
        }
        code(residual);
    }

    // A run still open at the end of the block is written too.
    void finish() {
        if (in_run_) end_run(1);
    }

private:
    void code(int32_t residual) {
        uint32_t k = 31 - static_cast<uint32_t>(std::countl_zero((mb_ >> 9) + 3));
        if (k > set_.kb) k = set_.kb;
        const uint32_t m = (1u << k) - 1;

        const uint32_t x = static_cast<uint32_t>(residual);
        const uint32_t n = (x << 1) ^ static_cast<uint32_t>(residual >> 31);
        const uint32_t v = n - zmode_;

        // The usual case: k <= 14 keeps every codeword with q < 9 under 23
        // bits, and the quotient comes from a multiplication.
        if (k - 1 < fast_divisor_bits && v < alac::max_rice_quotient * m) [[likely]] {
            const uint32_t q = static_cast<uint32_t>((v * reciprocal[k]) >> 32);
            uint32_t len = 0;
            const uint32_t word = rice_code(q, v - q * m, k, len);
            out_.put(word, len);
        } else {
            put_rare(rare_residual_code(v, k, m, sample_bits_));
        }

        mb_ = n > 0xFFFF ? 0xFFFF : mb_ + n * set_.pb - ((set_.pb * mb_) >> 9);
        zmode_ = 0;
        // Zero-run mode while the mean is small (mb * 4 < 512: with pb = 40
        // the mean stays far below 2^30, so this is mb < 128), unless this
        // was the last residual.
        if (mb_ < 128 && left_ != 0) [[unlikely]] {
            in_run_ = true;
            run_ = 0;
        }
    }

    // A run cut at the 65535 cap (zmode 0) is followed by an ordinary
    // residual; any other run by one that is not zero (zmode 1).
    void end_run(uint32_t zmode) {
        put_rare(zero_run_code(run_, mb_, set_.wb));
        mb_ = 0;
        zmode_ = zmode;
        in_run_ = false;
    }

    void put_rare(const RareCode& c) {
        out_.put(c.code[0], c.len[0]);
        if (c.len[1] != 0) out_.put(c.code[1], c.len[1]);
    }

    Sink& out_;
    const GolombParams set_;
    const uint32_t sample_bits_;
    uint32_t left_;  // residuals still to come
    uint32_t mb_;
    uint32_t zmode_ = 0;
    uint32_t run_ = 0;
    bool in_run_ = false;
};

// The coder that writes, as the loops that predict and code at once take it.
using ResidualStream = ResidualCoder<CodeSink>;

}  // namespace qv::golomb_coder
