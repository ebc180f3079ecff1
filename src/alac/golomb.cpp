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

inline void store_be32(uint8_t* p, uint32_t w) {
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    std::memcpy(p, &w, 4);
}

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

// The Rice codeword for quotient q and remainder r with parameter k: q
// 1-bits, a 0, then r + 1 in k bits, or only k - 1 zero bits when r = 0.
// Returns the code and sets `len`.
inline uint32_t rice_code(uint32_t q, uint32_t r, uint32_t k, uint32_t& len) {
    const uint32_t d = r == 0;
    len = q + k + 1 - d;
    return (((1u << q) - 1) << (len - q)) + r + 1 - d;
}

// Counts the bits instead of writing them, for sizing a candidate.
struct BitCount {
    uint32_t bits = 0;
    void put(uint32_t, uint32_t len) { bits += len; }
};

template <typename Sink>
inline void put_rice(Sink& out, uint32_t v, uint32_t q, uint32_t k, uint32_t m) {
    uint32_t len = 0;
    const uint32_t code = rice_code(q, v - q * m, k, len);
    out.put(code, len);
}

// A codeword of the rare kinds, as one or two fields (len[1] is 0 for one).
struct RareCode {
    uint32_t code[2];
    uint32_t len[2];
};

// The Rice codeword by plain division, when it has one: false when the
// quotient reaches 9, the codeword would exceed 25 bits, or m is 0.
inline bool rice_by_division(RareCode& out, uint32_t v, uint32_t k, uint32_t m) {
    if (m == 0) return false;
    const uint32_t q = v / m;
    if (q >= max_rice_quotient) return false;
    uint32_t len = 0;
    const uint32_t code = rice_code(q, v % m, k, len);
    if (len > 25) return false;
    out = {{code, 0}, {len, 0}};
    return true;
}

// A residual outside the multiplication's range: its Rice codeword, or else
// nine 1-bits and the low `sample_bits` (1..32) bits of `v`, in two fields
// when wider than 16 bits.
[[gnu::noinline]] RareCode rare_residual_code(uint32_t v, uint32_t k, uint32_t m,
                                              uint32_t sample_bits) {
    RareCode out;
    if (rice_by_division(out, v, k, m)) return out;
    if (sample_bits <= 16) {
        const uint32_t low = v & ((1u << sample_bits) - 1);
        return {{(escape_prefix << sample_bits) | low, 0}, {9 + sample_bits, 0}};
    }
    const uint32_t high_bits = sample_bits - 16;
    const uint32_t high = (v >> 16) & ((1u << high_bits) - 1);
    return {{(escape_prefix << high_bits) | high, v & 0xFFFF}, {9 + high_bits, 16}};
}

// The count of a zero run, coded with a parameter from the mean; escaped as
// nine 1-bits and the count in 16 bits.
[[gnu::noinline]] RareCode zero_run_code(uint32_t nz, uint32_t mb, uint32_t wb) {
    const uint32_t k = static_cast<uint32_t>(std::countl_zero(mb)) - 24 + ((mb + 16) >> 6);
    const uint32_t m = ((1u << k) - 1) & wb;
    RareCode out;
    if (rice_by_division(out, nz, k, m)) return out;
    return {{(escape_prefix << 16) + nz, 0}, {25, 0}};
}

template <typename Sink>
inline void put_rare(Sink& out, const RareCode& code) {
    out.put(code.code[0], code.len[0]);
    if (code.len[1] != 0) out.put(code.code[1], code.len[1]);
}

// The residuals in order: one contiguous block, the way the frame encoder
// always passes them...
struct BlockInput {
    const int32_t* p;
    void next() { ++p; }
};

// ...or rows of `width` values whose starts are `width + skip` apart.
struct RowInput {
    const int32_t* p;
    uint32_t width;
    uint32_t skip;
    uint32_t col = 0;
    void next() {
        ++p;
        if (++col == width) {
            col = 0;
            p += skip;
        }
    }
};

struct CoderSettings {
    uint32_t pb;
    uint32_t kb;
    uint32_t wb;
    uint32_t sample_bits;
};

// The coder loop, into a CodeSink or a BitCount; returns the final mean.
template <typename Input, typename Sink>
uint32_t code_residuals(Input in, uint32_t count, uint32_t mb, const CoderSettings& set, Sink& out) {
    const uint32_t pb = set.pb;
    const uint32_t kb = set.kb;
    uint32_t zmode = 0;
    uint32_t c = 0;
    while (c < count) {
        uint32_t k = 31 - static_cast<uint32_t>(std::countl_zero((mb >> 9) + 3));
        if (k > kb) k = kb;
        const uint32_t m = (1u << k) - 1;

        const uint32_t x = static_cast<uint32_t>(*in.p);
        const uint32_t n = (x << 1) ^ static_cast<uint32_t>(static_cast<int32_t>(x) >> 31);
        const uint32_t v = n - zmode;

        // The usual case: k <= 14 keeps every codeword with q < 9 under 23
        // bits, and the quotient comes from a multiplication.
        if (k - 1 < fast_divisor_bits && v < max_rice_quotient * m) [[likely]] {
            const uint32_t q = static_cast<uint32_t>((v * reciprocal[k]) >> 32);
            put_rice(out, v, q, k, m);
        } else {
            put_rare(out, rare_residual_code(v, k, m, set.sample_bits));
        }

        ++c;
        in.next();
        mb = n > 0xFFFF ? 0xFFFF : mb + n * pb - ((pb * mb) >> 9);
        zmode = 0;

        // Zero-run mode while the mean is small (mb * 4 < 512: with pb = 40
        // the mean stays far below 2^30, so this is mb < 128).
        if (mb < 128 && c < count) [[unlikely]] {
            zmode = 1;
            uint32_t nz = 0;
            while (c < count && *in.p == 0) {
                ++nz;
                ++c;
                in.next();
                if (nz == 65535) {
                    zmode = 0;
                    break;
                }
            }
            put_rare(out, zero_run_code(nz, mb, set.wb));
            mb = 0;
        }
    }
    return mb;
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

    params.mb = params.mb0;
    const CoderSettings settings{params.pb, params.kb, params.wb, sample_bits};
    uint8_t* const base = writer.cur;
    const uint32_t pos_start = writer.bit_index;
    CodeSink out(base, pos_start);
    if (params.row_width == params.frame_width) {
        code_residuals(BlockInput{residuals}, count, params.mb0, settings, out);
    } else {
        code_residuals(RowInput{residuals, params.row_width, params.frame_width - params.row_width},
                       count, params.mb0, settings, out);
    }

    const uint32_t pos = uint32_t(out.cur - base) * 8 + out.used;
    bits_written = pos - pos_start;
    if (bits_written != 0) {
        writer.cur = base + (pos >> 3);
        writer.bit_index = pos & 7;
    }
    profile_book(stage_golomb, t0);
    return 0;
}

int32_t golomb_measure(const int32_t* residuals, uint32_t count, uint32_t sample_bits,
                       uint32_t& bits) {
    const uint64_t t0 = profile_start();
    bits = 0;
    if (sample_bits - 1 >= 32) {
        profile_book(stage_golomb, t0);
        return -50;
    }
    GolombParams params;
    set_golomb_params(params, count);
    BitCount out;
    code_residuals(BlockInput{residuals}, count, params.mb0,
                   CoderSettings{params.pb, params.kb, params.wb, sample_bits}, out);
    bits = out.bits;
    profile_book(stage_golomb, t0);
    return 0;
}

}  // namespace qv
