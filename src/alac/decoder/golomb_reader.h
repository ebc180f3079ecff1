#pragma once
// The adaptive Golomb-Rice decoder as a stream: each step reads one
// residual and the zero run that may follow it, so that a loop rebuilding
// samples can decode its residuals as it goes. golomb_decode runs it to
// the end of a block.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "alac/common/alac_format.h"
#include "alac/common/bit_reader.h"
#include "alac/decoder/alac_decode_status.h"
#include "alac/decoder/code_window.h"
#include "alac/decoder/golomb_decoder.h"

namespace qv::golomb_reader {

// Codewords below nine leading ones are: q ones, a zero, then k bits holding
// r + 1, cut to k - 1 zero bits when r is 0 (r + 1 >= 2 otherwise, so its top
// k - 1 bits are never all zero). The value is q * divisor + r. Nine ones
// announce `escape_bits` raw bits, which are the value itself (q = 0). The
// window must hold 9 + max(k, escape_bits) bits, at most 41.
struct Codeword {
    uint32_t q;
    uint32_t r;
};

template <typename Window>
inline Codeword read_codeword(Window& window, uint32_t k, uint32_t escape_width) {
    const uint64_t bits = window.bits();
    // Only up to nine ones matter; the low 1 spares the count a zero test.
    const uint32_t q = static_cast<uint32_t>(std::countl_zero(~bits | 1));
    if (q >= alac::max_rice_quotient) [[unlikely]] {
        window.consume(alac::escape_prefix_bits);
        return {0, take(window, escape_width)};
    }
    // After the q ones the zero is on top, so k + 1 bits from there are the
    // k bits after it.
    const uint32_t tail = static_cast<uint32_t>((bits << q) >> (63 - k));
    if (tail < 2) {
        window.consume(q + k);
        return {q, 0};
    }
    window.consume(q + k + 1);
    return {q, tail - 1};
}

// 0, 1, 2, 3, 4 ... back to 0, -1, 1, -2, 2 ...
inline int32_t unmap(uint32_t n) { return static_cast<int32_t>((n >> 1) ^ (0u - (n & 1))); }

// Decodes `count` residuals into `out`. `FixedPb` > 0 makes the adaptation
// rate a constant (the cookie's usual 40), which shortens the serial chain
// from one mean to the next. The reader is copied in, so that its window
// stays in registers (through a reference it would go to memory and back
// for every codeword); store() hands its position back. A loop that runs
// two of these beside a filter is short of registers, so the state that
// changes at every step is kept to the window, the mean and the output
// pointer, and such loops take the ReloadWindow.
template <uint32_t FixedPb, typename Window = CodeWindow>
class ResidualReader {
public:
    ResidualReader(const BitReader& reader, const GolombParams& params, int32_t* out,
                   uint32_t count, uint32_t sample_bits)
        : window_(reader),
          out_(out),
          begin_(out),
          end_(out + count),
          sample_bits_(sample_bits),
          pb_(FixedPb != 0 ? FixedPb : params.pb),
          kb_(params.kb),
          biased_mb_(params.mb0 + bias) {}

    // Whether residual `index` is in.
    bool holds(uint32_t index) const { return out_ > begin_ + index; }

    // One residual, and the zero run after it when the mean is small, and
    // after a run the residual that follows it. Reads past the end are not
    // checked here but once, by overrun(): they see zeros, which decode as
    // small values and empty runs, so the caller loses nothing by asking
    // after its loop.
    [[gnu::always_inline]] AlacDecodeStatus step() {
        // 1 for the residual right after a run shorter than the cap.
        uint32_t after_run = 0;
        for (;;) {
            const uint32_t k = std::min(top_bit(biased_mb_ >> 9), kb_);
            window_.fill();
            const Codeword code = read_codeword(window_, k, sample_bits_);
            // q * (2^k - 1), as a shift.
            const uint32_t n = (code.q << k) - code.q + code.r + after_run;
            *out_++ = unmap(n);
            // The mean follows the mapped value itself, before the run correction.
            biased_mb_ = biased_mb_ - decay(biased_mb_ - bias) + n * pb();
            if (n > 0xFFFF) [[unlikely]]
                biased_mb_ = 0xFFFF + bias;
            if (biased_mb_ >= 128 + bias || out_ == end_) [[likely]]
                return AlacDecodeStatus::ok;
            // mb < 128 here, so the run parameter lies in 1..8.
            const uint32_t mb = biased_mb_ - bias;
            const uint32_t kz = static_cast<uint32_t>(std::countl_zero(mb)) - 24 + ((mb + 16) >> 6);
            const uint32_t run_mask = (1u << kb_) - 1;
            window_.fill();
            const Codeword run_code = read_codeword(window_, kz, alac::run_escape_bits);
            const uint32_t run = run_code.q * (((1u << kz) - 1) & run_mask) + run_code.r;
            if (run > static_cast<uint32_t>(end_ - out_))
                return AlacDecodeStatus::zero_run_overflow;
            std::fill(out_, out_ + run, 0);
            out_ += run;
            biased_mb_ = bias;
            // A run cut at the 65535 cap is followed by an ordinary residual.
            if (run >= alac::max_zero_run || out_ == end_) return AlacDecodeStatus::ok;
            after_run = 1;
        }
    }

    // Steps until at least `wanted` residuals (at most the count) are in.
    AlacDecodeStatus decode_to(uint32_t wanted) {
        const int32_t* stop = begin_ + std::min<size_t>(wanted, end_ - begin_);
        while (out_ < stop) {
            const AlacDecodeStatus status = step();
            if (status != AlacDecodeStatus::ok) return status;
        }
        return overrun() ? AlacDecodeStatus::truncated : AlacDecodeStatus::ok;
    }

    // True once a codeword went past the last byte.
    bool overrun() const { return window_.overrun(); }

    void store(BitReader& reader) const { window_.store(reader); }
    size_t bit_position() const { return window_.position(); }

private:
    // The mean is held plus 3 * 512, so that the Rice parameter's argument
    // (mb >> 9) + 3 is one shift of it.
    static constexpr uint32_t bias = 3 << 9;

    uint32_t pb() const { return FixedPb != 0 ? FixedPb : pb_; }

    // The mean's decay per residual, pb * mb / 512.
    uint32_t decay(uint32_t mb) const {
        // 40 * mb / 512 as 5 * mb / 64: the mean stays below 512 * 65536,
        // so 40 * mb never wraps and the two agree.
        if constexpr (FixedPb == 40) return (mb * 5) >> 6;
        return (pb() * mb) >> 9;
    }

    // The index of the top bit (x is never 0 here). g++'s x86 builtin is the
    // bit scan itself; from 31 ^ clz it may leave two xors on the serial
    // chain where it joins paths between them.
    static uint32_t top_bit(uint32_t x) {
#if defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
        return static_cast<uint32_t>(__builtin_ia32_bsrsi(static_cast<int>(x)));
#else
        return 31 ^ static_cast<uint32_t>(__builtin_clz(x));
#endif
    }

    Window window_;
    int32_t* out_;  // where the next residual goes
    const int32_t* begin_;
    const int32_t* end_;
    uint32_t sample_bits_;
    uint32_t pb_;
    uint32_t kb_;
    uint32_t biased_mb_;
};

// The reader for the cookie's usual rate, which the one-pass rebuild takes
// beside its filter.
using UsualResidualReader = ResidualReader<usual_pb, ReloadWindow>;

}  // namespace qv::golomb_reader
