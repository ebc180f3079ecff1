#include "alac/golomb.h"

#include "alac/encoder_profile.h"
#include "alac/golomb_coder.h"

namespace qv {

namespace golomb_coder {

namespace {

// The Rice codeword by plain division, when it has one: false when the
// quotient reaches 9, the codeword would exceed 25 bits, or m is 0.
inline bool rice_by_division(RareCode& out, uint32_t v, uint32_t k, uint32_t m) {
    if (m == 0) return false;
    const uint32_t q = v / m;
    if (q >= alac::max_rice_quotient) return false;
    uint32_t len = 0;
    const uint32_t code = rice_code(q, v % m, k, len);
    if (len > alac::max_rice_code_bits) return false;
    out = {{code, 0}, {len, 0}};
    return true;
}

}  // namespace

// Out of line: rare, and kept out of the coder loops' registers. Wider than
// 16 bits, an escaped value goes out in two fields.
[[gnu::noinline]] RareCode rare_residual_code(uint32_t v, uint32_t k, uint32_t m,
                                              uint32_t sample_bits) {
    RareCode out;
    if (rice_by_division(out, v, k, m)) return out;
    constexpr uint32_t prefix_bits = alac::escape_prefix_bits;
    if (sample_bits <= 16) {
        const uint32_t low = v & ((1u << sample_bits) - 1);
        return {{(alac::escape_prefix << sample_bits) | low, 0}, {prefix_bits + sample_bits, 0}};
    }
    const uint32_t high_bits = sample_bits - 16;
    const uint32_t high = (v >> 16) & ((1u << high_bits) - 1);
    return {{(alac::escape_prefix << high_bits) | high, v & 0xFFFF}, {prefix_bits + high_bits, 16}};
}

[[gnu::noinline]] RareCode zero_run_code(uint32_t nz, uint32_t mb, uint32_t wb) {
    const uint32_t k = static_cast<uint32_t>(std::countl_zero(mb)) - 24 + ((mb + 16) >> 6);
    const uint32_t m = ((1u << k) - 1) & wb;
    RareCode out;
    if (rice_by_division(out, nz, k, m)) return out;
    return {{(alac::escape_prefix << alac::run_escape_bits) + nz, 0},
            {alac::escape_prefix_bits + alac::run_escape_bits, 0}};
}

}  // namespace golomb_coder

namespace {

using namespace golomb_coder;

template <typename Sink>
void code_residuals(const int32_t* residuals, uint32_t count, const GolombParams& params,
                    uint32_t sample_bits, Sink& out) {
    ResidualCoder<Sink> coder(out, count, params, sample_bits);
    for (uint32_t c = 0; c < count; ++c) coder.feed(residuals[c]);
    coder.finish();
}

}  // namespace

void set_golomb_params(GolombParams& params) { params = GolombParams{}; }

int32_t golomb_encode(const GolombParams& params, const int32_t* residuals, BitWriter& writer,
                      uint32_t count, uint32_t sample_bits, uint32_t& bits_written) {
    const uint64_t t0 = profile_start();
    bits_written = 0;
    if (sample_bits - 1 >= 32) {
        profile_book(stage_golomb, t0);
        return -50;
    }

    uint8_t* const base = writer.cur;
    const uint32_t pos_start = writer.bit_index;
    CodeSink out(base, pos_start);
    code_residuals(residuals, count, params, sample_bits, out);

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
    BitCount out;
    code_residuals(residuals, count, GolombParams{}, sample_bits, out);
    bits = out.bits;
    profile_book(stage_golomb, t0);
    return 0;
}

}  // namespace qv
