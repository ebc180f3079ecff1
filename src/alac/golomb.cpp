#include "alac/golomb.h"

#include <array>
#include <bit>
#include <cstring>

#include "alac/encoder_profile.h"

namespace qv {

namespace {

constexpr uint32_t escape_prefix = 0x1FF;  // nine 1-bits
constexpr uint32_t max_rice_quotient = 9;
constexpr uint32_t fast_divisor_bits = 14;

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
constexpr auto reciprocal = make_reciprocals();

inline uint32_t load_be32(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    return w;
}

inline void store_be32(uint8_t* p, uint32_t w) {
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    std::memcpy(p, &w, 4);
}

// Replaces `len` (1..25) bits at bit offset `pos` from `base` with `code`
// (which must fit in `len` bits) through one big-endian word: a field of at
// most 25 bits starting at bit 0..7 of a byte ends within that byte's word.
inline void put_code(uint8_t* base, uint32_t pos, uint32_t code, uint32_t len) {
    uint8_t* p = base + (pos >> 3);
    const uint32_t shift = 32 - (pos & 7) - len;
    const uint32_t mask = ((1u << len) - 1) << shift;
    store_be32(p, (load_be32(p) & ~mask) | (code << shift));
}

// Nine 1-bits, then the low `sample_bits` (1..32) bits of `value`; wider
// than 25 bits, it goes out as two fields.
inline uint32_t put_escape(uint8_t* base, uint32_t pos, uint32_t value, uint32_t sample_bits) {
    if (sample_bits <= 16) {
        const uint32_t low = value & ((1u << sample_bits) - 1);
        put_code(base, pos, (escape_prefix << sample_bits) | low, 9 + sample_bits);
        return pos + 9 + sample_bits;
    }
    const uint32_t high_bits = sample_bits - 16;
    const uint32_t high = (value >> 16) & ((1u << high_bits) - 1);
    put_code(base, pos, (escape_prefix << high_bits) | high, 9 + high_bits);
    pos += 9 + high_bits;
    put_code(base, pos, value & 0xFFFF, 16);
    return pos + 16;
}

// The Rice codeword of `v` with divisor m and parameter k: q = v / m 1-bits,
// a 0, then r + 1 in k bits, or only k - 1 zero bits when r = 0.
inline uint32_t put_rice(uint8_t* base, uint32_t pos, uint32_t v, uint32_t q, uint32_t k,
                         uint32_t m) {
    const uint32_t r = v - q * m;
    const uint32_t d = r == 0;
    const uint32_t len = q + k + 1 - d;
    const uint32_t code = (((1u << q) - 1) << (len - q)) + r + 1 - d;
    put_code(base, pos, code, len);
    return pos + len;
}

// The codeword of `v` by plain division, when it has one: false when the
// quotient reaches 9, the codeword would exceed 25 bits, or m is 0.
inline bool put_rice_checked(uint8_t* base, uint32_t& pos, uint32_t v, uint32_t k, uint32_t m) {
    if (m == 0) return false;
    const uint32_t q = v / m;
    if (q >= max_rice_quotient || q + k + 1 - (v % m == 0) > 25) return false;
    pos = put_rice(base, pos, v, q, k, m);
    return true;
}

}  // namespace

void set_golomb_params(GolombParams& params, uint32_t count) {
    params.mb = params.mb0 = 10;
    params.pb = 40;
    params.kb = 14;
    params.wb = 16383;
    params.row_width = count;
    params.frame_width = count;
}

int32_t golomb_encode(GolombParams& params, const int32_t* residuals, BitWriter& writer,
                      uint32_t count, uint32_t sample_bits, uint32_t& bits_written) {
    const uint64_t t0 = profile_start();
    bits_written = 0;
    if (sample_bits - 1 >= 32) {
        profile_book(stage_golomb, t0);
        return -50;
    }

    uint32_t mb = params.mb = params.mb0;
    const uint32_t pb = params.pb;
    const uint32_t kb = params.kb;
    const uint32_t wb = params.wb;
    const uint32_t row_width = params.row_width;
    const uint32_t row_skip = params.frame_width - params.row_width;

    uint8_t* const base = writer.cur;
    const uint32_t pos_start = writer.bit_index;
    uint32_t pos = pos_start;
    const int32_t* in = residuals;
    uint32_t col = 0;
    uint32_t zmode = 0;
    uint32_t c = 0;

    auto advance = [&] {
        ++in;
        if (++col == row_width) {
            col = 0;
            in += row_skip;
        }
    };

    while (c < count) {
        uint32_t k = 31 - static_cast<uint32_t>(std::countl_zero((mb >> 9) + 3));
        if (k > kb) k = kb;
        const uint32_t m = (1u << k) - 1;

        const uint32_t x = static_cast<uint32_t>(*in);
        const uint32_t n = (x << 1) ^ static_cast<uint32_t>(static_cast<int32_t>(x) >> 31);
        const uint32_t v = n - zmode;

        // The usual case: k <= 14 keeps every codeword with q < 9 under 23
        // bits, and the quotient comes from a multiplication.
        if (k - 1 < fast_divisor_bits && v < max_rice_quotient * m) {
            const uint32_t q = static_cast<uint32_t>((v * reciprocal[k]) >> 32);
            pos = put_rice(base, pos, v, q, k, m);
        } else if (!put_rice_checked(base, pos, v, k, m)) {
            pos = put_escape(base, pos, v, sample_bits);
        }

        ++c;
        advance();
        mb = n > 0xFFFF ? 0xFFFF : mb + n * pb - ((pb * mb) >> 9);
        zmode = 0;

        // Zero-run mode while the mean is small (mb * 4 < 512: with pb = 40
        // the mean stays far below 2^30, so this is mb < 128).
        if (mb < 128 && c < count) {
            zmode = 1;
            uint32_t nz = 0;
            while (c < count && *in == 0) {
                ++nz;
                ++c;
                advance();
                if (nz == 65535) {
                    zmode = 0;
                    break;
                }
            }
            const uint32_t kz = static_cast<uint32_t>(std::countl_zero(mb)) - 24 + ((mb + 16) >> 6);
            const uint32_t mz = ((1u << kz) - 1) & wb;
            if (!put_rice_checked(base, pos, nz, kz, mz)) {
                put_code(base, pos, (escape_prefix << 16) + nz, 25);
                pos += 25;
            }
            mb = 0;
        }
    }

    bits_written = pos - pos_start;
    if (bits_written != 0) {
        writer.cur = base + (pos >> 3);
        writer.bit_index = pos & 7;
    }
    profile_book(stage_golomb, t0);
    return 0;
}

}  // namespace qv
