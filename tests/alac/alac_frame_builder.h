#pragma once
// Builds ALAC frames bit by bit for the decoder tests, with its own plain
// model of the Golomb coder, the predictor and the matrixing (64-bit
// arithmetic truncated to 32 bits), independent of the encoder's code.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "alac/common/alac_format.h"

namespace qv::framebuild {

// Most-significant-bit-first bit accumulator.
struct Bits {
    std::vector<uint8_t> bytes;
    uint64_t count = 0;

    void put(uint64_t value, uint32_t bits) {
        for (uint32_t i = bits; i-- > 0;) {
            if (count % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= uint8_t(0x80u >> (count % 8));
            ++count;
        }
    }
    void align() {
        while (count % 8 != 0) put(0, 1);
    }
    // End tag and zero padding.
    std::vector<uint8_t> finish() {
        put(alac::tag_end, alac::tag_bits);
        align();
        return bytes;
    }
};

inline int32_t wrap_bits(int64_t x, uint32_t bits) {
    const uint32_t shift = (32 - bits) % 32;
    return int32_t(uint32_t(uint64_t(x)) << shift) >> shift;
}

// The adaptive Golomb-Rice coder, one codeword at a time.
inline void golomb(Bits& b, const std::vector<int32_t>& x, uint32_t sample_bits, uint32_t mb0 = 10,
                   uint32_t pb = 40, uint32_t kb = 14) {
    auto codeword = [&](uint32_t v, uint32_t k, uint32_t m, uint32_t escape_bits) {
        const uint32_t q = v / m;
        const uint32_t r = v % m;
        if (q < 9) {
            const uint32_t d = r == 0 ? 1 : 0;
            const uint32_t len = q + k + 1 - d;
            if (len <= alac::max_rice_code_bits) {
                b.put((((uint64_t(1) << q) - 1) << (len - q)) + r + 1 - d, len);
                return;
            }
        }
        b.put(alac::escape_prefix, alac::escape_prefix_bits);
        b.put(v, escape_bits);
    };
    uint32_t mb = mb0;
    uint32_t zmode = 0;
    size_t c = 0;
    while (c < x.size()) {
        uint32_t k = 0;
        while ((uint64_t(2) << k) <= (mb >> 9) + 3) ++k;
        if (k > kb) k = kb;
        const int64_t s = x[c];
        const uint32_t n = uint32_t(s < 0 ? -2 * s - 1 : 2 * s);
        codeword(n - zmode, k, (1u << k) - 1, sample_bits);
        ++c;
        mb = n > 0xFFFF ? 0xFFFF : mb + n * pb - ((pb * mb) >> 9);
        zmode = 0;
        if (mb * 4 < 512 && c < x.size()) {
            zmode = 1;
            uint32_t nz = 0;
            while (c < x.size() && x[c] == 0) {
                ++nz;
                ++c;
                if (nz == alac::max_zero_run) {
                    zmode = 0;
                    break;
                }
            }
            uint32_t lz = 0;
            while (lz < 32 && !((mb << lz) & 0x80000000u)) ++lz;
            const uint32_t kz = lz - 24 + ((mb + 16) >> 6);
            codeword(nz, kz, ((1u << kz) - 1) & ((1u << kb) - 1), alac::run_escape_bits);
            mb = 0;
        }
    }
}

// The adaptive FIR predictor: residuals of `in`, adapting `a` as it goes.
inline std::vector<int32_t> predict(const std::vector<int32_t>& in, std::vector<int16_t>& a,
                                    uint32_t order, uint32_t chan_bits, uint32_t den_shift = 9) {
    const size_t n = in.size();
    std::vector<int32_t> res(n);
    if (n == 0) return res;
    res[0] = in[0];
    if (order == 0) return in;
    const size_t warm = order == 31 ? n - 1 : std::min<size_t>(order, n - 1);
    for (size_t j = 1; j <= warm; ++j) res[j] = wrap_bits(int64_t(in[j]) - in[j - 1], chan_bits);
    if (order == 31) return res;
    const int64_t p = order;
    for (size_t j = order + 1; j < n; ++j) {
        const int64_t top = in[j - order - 1];
        int64_t sum = 0;
        std::vector<int32_t> b(order);
        for (int64_t k = 0; k < p; ++k) {
            b[k] = int32_t(top - in[j - 1 - k]);
            sum += int64_t(a[k]) * int32_t(in[j - 1 - k] - top);
        }
        const int32_t pred =
            int32_t(uint32_t(uint64_t(sum) + (1u << (den_shift - 1)))) >> den_shift;
        const int32_t e = wrap_bits(int64_t(in[j]) - top - pred, chan_bits);
        res[j] = e;
        int32_t left = e;
        for (int64_t k = p - 1; k >= 0 && e != 0; --k) {
            const int32_t s = (b[k] > 0) - (b[k] < 0);
            const int32_t sign = e > 0 ? 1 : -1;
            a[k] = int16_t(a[k] - sign * s);
            const int32_t step = int32_t(uint32_t(int64_t(sign) * s * b[k])) >> den_shift;
            left = int32_t(uint32_t(int64_t(left) - (p - k) * int64_t(step)));
            if (e > 0 ? left <= 0 : left >= 0) break;
        }
    }
    return res;
}

// Tag, instance and the shared header (12 reserved bits, partial flag,
// bytes shifted, uncompressed flag, the frame count when partial).
inline void element_header(Bits& b, uint32_t tag, uint32_t instance, uint32_t frames,
                           uint32_t frame_length, uint32_t bytes_shifted, bool uncompressed) {
    const bool partial = frames != frame_length;
    b.put(tag, alac::tag_bits);
    b.put(instance, alac::instance_bits);
    b.put(0, alac::reserved_bits);
    b.put(partial, 1);
    b.put(bytes_shifted, alac::bytes_shifted_bits);
    b.put(uncompressed, 1);
    if (partial) b.put(frames, alac::frame_count_bits);
}

inline void uncompressed_element(Bits& b, uint32_t instance, uint32_t depth, uint32_t frame_length,
                                 const std::vector<std::vector<int32_t>>& chans) {
    const uint32_t tag = chans.size() == 2 ? alac::tag_pair : alac::tag_single;
    element_header(b, tag, instance, uint32_t(chans[0].size()), frame_length, 0, true);
    for (size_t i = 0; i < chans[0].size(); ++i)
        for (const auto& ch : chans)
            b.put(uint32_t(ch[i]) & uint32_t((uint64_t(1) << depth) - 1), depth);
}

struct Coding {
    uint32_t order = 8;
    std::vector<int16_t> coefs = {1216, -928, -64, 0, 0, 0, 0, 0};
    uint32_t den_shift = 9;
};

// A compressed single (one channel) or pair (two) element.
inline void compressed_element(Bits& b, uint32_t instance, uint32_t depth, uint32_t frame_length,
                               const std::vector<std::vector<int32_t>>& chans, uint32_t mix_res,
                               uint32_t bytes_shifted, std::vector<Coding> coding) {
    const bool pair = chans.size() == 2;
    const size_t n = chans[0].size();
    element_header(b, pair ? alac::tag_pair : alac::tag_single, instance, uint32_t(n), frame_length,
                   bytes_shifted, false);
    const uint32_t low = 8 * bytes_shifted;
    const uint32_t chan_bits = depth - low + (pair ? 1 : 0);
    std::vector<std::vector<int32_t>> sig(chans.size(), std::vector<int32_t>(n));
    for (size_t c = 0; c < chans.size(); ++c)
        for (size_t i = 0; i < n; ++i) sig[c][i] = chans[c][i] >> low;
    if (pair && mix_res != 0) {
        for (size_t i = 0; i < n; ++i) {
            const int64_t l = sig[0][i], r = sig[1][i];
            sig[0][i] = int32_t((int64_t(mix_res) * l + (4 - int64_t(mix_res)) * r) >> 2);
            sig[1][i] = int32_t(l - r);
        }
    }
    b.put(pair ? 2 : 0, alac::mix_field_bits);
    b.put(pair ? mix_res : 0, alac::mix_field_bits);
    for (size_t c = 0; c < chans.size(); ++c) {
        b.put(alac::mode_shift_byte(coding[c].den_shift), alac::predictor_byte_bits);
        b.put(alac::weight_order_byte(coding[c].order), alac::predictor_byte_bits);
        for (uint32_t k = 0; k < coding[c].order; ++k)
            b.put(uint16_t(coding[c].coefs[k]), alac::coef_bits);
    }
    if (low != 0)
        for (size_t i = 0; i < n; ++i)
            for (const auto& ch : chans) b.put(uint32_t(ch[i]) & ((1u << low) - 1), low);
    for (size_t c = 0; c < chans.size(); ++c) {
        coding[c].coefs.resize(32, 0);
        golomb(b, predict(sig[c], coding[c].coefs, coding[c].order, chan_bits, coding[c].den_shift),
               chan_bits);
    }
}

// Deterministic signals.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state >> 32);
    }
    // Uniform over the signed range of `bits` bits.
    int32_t sample(uint32_t bits) { return wrap_bits(int64_t(next()), bits); }
};

inline std::vector<int32_t> noise(size_t n, uint32_t bits, uint64_t seed) {
    Rng rng(seed);
    std::vector<int32_t> out(n);
    for (auto& v : out) v = rng.sample(bits);
    return out;
}

// A few slow sines plus a little noise at about half of full scale.
inline std::vector<int32_t> music(size_t n, uint32_t bits, uint64_t seed) {
    Rng rng(seed);
    const double full = double((uint64_t(1) << (bits - 1)) - 1);
    const double f1 = 0.002 + (rng.next() % 100) * 1e-5, f2 = 0.031 + (rng.next() % 100) * 1e-4;
    std::vector<int32_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i);
        const double v = 0.35 * std::sin(6.2831853 * f1 * t) + 0.12 * std::sin(6.2831853 * f2 * t) +
                         0.01 * (double(rng.next() % 2001) / 1000.0 - 1.0);
        out[i] = int32_t(v * full);
    }
    return out;
}

}  // namespace qv::framebuild
