#include "reference_coder.h"

namespace qv::ref {

namespace {

// The 32-bit two's-complement value congruent to x.
int32_t to_i32(int64_t x) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(x) & 0xFFFFFFFFu));
}

int32_t sgn(int32_t x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }

void put_bit(BitWriter& w, uint32_t bit) {
    const uint8_t mask = static_cast<uint8_t>(0x80u >> w.bit_index);
    if (bit) {
        *w.cur = static_cast<uint8_t>(*w.cur | mask);
    } else {
        *w.cur = static_cast<uint8_t>(*w.cur & ~mask);
    }
    if (++w.bit_index == 8) {
        w.bit_index = 0;
        ++w.cur;
    }
}

// The low `count` bits of value, most significant first.
void put_bits(BitWriter& w, uint64_t value, uint32_t count) {
    for (uint32_t i = count; i > 0; --i) put_bit(w, static_cast<uint32_t>((value >> (i - 1)) & 1));
}

uint32_t floor_log2(uint32_t x) {
    uint32_t k = 0;
    while ((x >> (k + 1)) != 0) ++k;
    return k;
}

uint32_t leading_zeros(uint32_t x) {
    uint32_t n = 0;
    for (uint32_t bit = 0x80000000u; bit != 0 && (x & bit) == 0; bit >>= 1) ++n;
    return n;
}

// Writes the Golomb codeword of `value`, or returns false when it escapes.
bool put_codeword(BitWriter& w, uint32_t value, uint32_t k, uint32_t divisor) {
    if (divisor == 0) return false;
    const uint32_t q = value / divisor;
    const uint32_t r = value % divisor;
    if (q >= 9) return false;
    const uint32_t d = r == 0 ? 1 : 0;
    if (q + k + 1 - d > 25) return false;
    for (uint32_t i = 0; i < q; ++i) put_bit(w, 1);
    put_bit(w, 0);
    if (r == 0) {
        put_bits(w, 0, k - 1);
    } else {
        put_bits(w, r + 1, k);
    }
    return true;
}

}  // namespace

int32_t wrap_to_bits(int32_t x, uint32_t chan_bits) {
    const uint32_t bits = chan_bits % 32 == 0 ? 32 : chan_bits % 32;
    if (bits == 32) return x;
    const int64_t range = int64_t{1} << bits;
    int64_t low = ((static_cast<int64_t>(x) % range) + range) % range;
    if (low >= range / 2) low -= range;
    return static_cast<int32_t>(low);
}

void predict_block(const int32_t* in, int32_t* residual, int32_t count, int16_t* coefs,
                   int32_t order, uint32_t chan_bits, uint32_t den_shift) {
    auto diff = [&](int32_t j) {
        return wrap_to_bits(to_i32(int64_t{in[j]} - in[j - 1]), chan_bits);
    };
    residual[0] = in[0];
    if (order == 0) {
        if (count >= 2 && in != residual) {
            for (int32_t j = 1; j < count; ++j) residual[j] = in[j];
        }
        return;
    }
    if (order == 31) {
        for (int32_t j = 1; j < count; ++j) residual[j] = diff(j);
        return;
    }
    const int32_t p = order;
    for (int32_t j = 1; j <= p; ++j) residual[j] = diff(j);
    const int32_t half = static_cast<int32_t>(int64_t{1} << (den_shift - 1));
    for (int32_t j = p + 1; j < count; ++j) {
        const int32_t top = in[j - p - 1];
        int32_t b[32];
        int32_t sum = 0;
        for (int32_t k = 0; k < p; ++k) {
            b[k] = to_i32(int64_t{top} - in[j - 1 - k]);
            sum = to_i32(int64_t{sum} + int64_t{coefs[k]} * to_i32(int64_t{in[j - 1 - k]} - top));
        }
        const int32_t prediction = to_i32(int64_t{sum} + half) >> den_shift;
        const int32_t e =
            wrap_to_bits(to_i32(int64_t{to_i32(int64_t{in[j]} - top)} - prediction), chan_bits);
        residual[j] = e;

        int32_t rest = e;
        if (e > 0) {
            for (int32_t k = p - 1; k >= 0; --k) {
                const int32_t s = sgn(b[k]);
                coefs[k] = static_cast<int16_t>(coefs[k] - s);
                rest = to_i32(int64_t{rest} -
                              int64_t{p - k} * (to_i32(int64_t{s} * b[k]) >> den_shift));
                if (rest <= 0) break;
            }
        } else if (e < 0) {
            for (int32_t k = p - 1; k >= 0; --k) {
                const int32_t s = sgn(b[k]);
                coefs[k] = static_cast<int16_t>(coefs[k] + s);
                rest = to_i32(int64_t{rest} -
                              int64_t{p - k} * (to_i32(int64_t{-s} * b[k]) >> den_shift));
                if (rest >= 0) break;
            }
        }
    }
}

int32_t golomb_encode(const GolombParams& params, const int32_t* residuals, BitWriter& writer,
                      uint32_t count, uint32_t sample_bits, uint32_t& bits_written) {
    bits_written = 0;
    if (sample_bits < 1 || sample_bits > 32) return -50;
    const uint32_t start = bit_position(writer);
    uint32_t mb = params.mb0;
    uint32_t zmode = 0;
    uint32_t c = 0;
    uint64_t index = 0;
    auto next = [&] { ++index; };

    while (c < count) {
        uint32_t k = floor_log2((mb >> 9) + 3);
        if (k > params.kb) k = params.kb;
        const uint32_t divisor = static_cast<uint32_t>((uint64_t{1} << k) - 1);
        const int64_t x = residuals[index];
        const uint32_t n = static_cast<uint32_t>(x < 0 ? -2 * x - 1 : 2 * x);
        const uint32_t v = n - zmode;
        if (!put_codeword(writer, v, k, divisor)) {
            put_bits(writer, 0x1FF, 9);
            put_bits(writer, v, sample_bits);
        }
        ++c;
        next();
        if (n > 0xFFFF) {
            mb = 0xFFFF;
        } else {
            mb = mb + n * params.pb - ((params.pb * mb) >> 9);
        }
        zmode = 0;
        if (mb * 4 < 512 && c < count) {
            zmode = 1;
            uint32_t nz = 0;
            while (c < count && residuals[index] == 0) {
                ++nz;
                ++c;
                next();
                if (nz == 65535) {
                    zmode = 0;
                    break;
                }
            }
            const uint32_t kz = leading_zeros(mb) - 24 + ((mb + 16) >> 6);
            const uint32_t mz = static_cast<uint32_t>((uint64_t{1} << kz) - 1) & params.wb;
            if (!put_codeword(writer, nz, kz, mz)) put_bits(writer, 0x1FF0000 + nz, 25);
            mb = 0;
        }
    }
    bits_written = bit_position(writer) - start;
    return 0;
}

}  // namespace qv::ref
