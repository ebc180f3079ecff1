#include "alac/golomb_decoder.h"

#include <algorithm>
#include <bit>

namespace qv {
namespace {

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

// The decoding loop. `FixedPb` > 0 makes the adaptation rate a constant
// (the cookie's usual 40), which shortens the serial chain from one mean
// to the next.
template <uint32_t FixedPb>
AlacDecodeStatus decode_residuals(BitReader& shared, const GolombDecodeParams& params, int32_t* out,
                                  uint32_t count, uint32_t sample_bits) {
    // A local copy of the reader keeps its position in a register; through
    // the reference it would go to memory and back for every codeword.
    BitReader reader = shared;
    AlacDecodeStatus status = AlacDecodeStatus::ok;
    const uint32_t pb = FixedPb != 0 ? FixedPb : params.pb;
    const uint32_t kb = params.kb;
    const uint32_t run_mask = (1u << kb) - 1;
    uint32_t mb = params.mb0;
    uint32_t zmode = 0;
    uint32_t c = 0;
    while (c < count) {
        uint32_t k = 31 - static_cast<uint32_t>(std::countl_zero((mb >> 9) + 3));
        k = std::min(k, kb);
        const uint32_t n = read_codeword(reader, k, (1u << k) - 1, sample_bits) + zmode;
        out[c++] = unmap(n);
        // The mean follows the mapped value itself, before the run correction.
        mb = mb + n * pb - ((pb * mb) >> 9);
        if (n > 0xFFFF) [[unlikely]] mb = 0xFFFF;
        zmode = 0;
        if (mb * 4 < 512 && c < count) {
            // mb < 128 here, so the run parameter lies in 1..8.
            const uint32_t kz =
                static_cast<uint32_t>(std::countl_zero(mb)) - 24 + ((mb + 16) >> 6);
            const uint32_t run = read_codeword(reader, kz, ((1u << kz) - 1) & run_mask, 16);
            if (run > count - c) {
                status = AlacDecodeStatus::zero_run_overflow;
                break;
            }
            std::fill(out + c, out + c + run, 0);
            c += run;
            // A run cut at the 65535 cap is followed by an ordinary residual.
            zmode = run < 65535 ? 1 : 0;
            mb = 0;
        }
        if (reader.overrun()) {
            status = AlacDecodeStatus::truncated;
            break;
        }
    }
    shared = reader;
    return status;
}

}  // namespace

AlacDecodeStatus golomb_decode(BitReader& reader, const GolombDecodeParams& params, int32_t* out,
                               uint32_t count, uint32_t sample_bits) {
    if (params.pb == 40) return decode_residuals<40>(reader, params, out, count, sample_bits);
    return decode_residuals<0>(reader, params, out, count, sample_bits);
}

}  // namespace qv
