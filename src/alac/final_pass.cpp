// The last predictor and coder pass of an element, kept inside the output
// capacity even when the element turns out too big.
#include "alac/alac_encoder.h"
#include "alac/element_io.h"
#include "alac/golomb_coder.h"
#include "common/byte_order.h"

namespace qv {

namespace {

// A residual code is at most an escape: the prefix and the value itself
// (run counts only follow cheap residuals and never add up to more).
uint32_t worst_case_code_bits(uint32_t frames, uint32_t chan_bits) {
    return frames * (alac::escape_prefix_bits + chan_bits);
}

// Predicts every signal over `frames` samples, a pair together so that the
// two adaptation chains overlap.
void predict_all(const ALACEncoder::FinalSignal* signals, uint32_t signal_count, uint32_t frames,
                 uint32_t chan_bits) {
    const int32_t n = int32_t(frames);
    if (signal_count == 2) {
        predict_block_pair_timed(signals[0].input, signals[1].input, n, chan_bits,
                                 element_den_shift);
        return;
    }
    for (uint32_t s = 0; s < signal_count; ++s) {
        const PredictorInput& f = signals[s].input;
        predict_block_timed(f.in, f.residual, n, f.coefs, f.order, chan_bits, element_den_shift);
    }
}

// Appends `count` bits from `src`, most significant bit of src[0] first.
// Each source byte lands across two output bytes: the bits of the current
// output byte that are already written are kept as `carry`, and nothing is
// written past the last output byte the appended bits reach.
void append_bits(BitWriter& writer, const uint8_t* src, uint32_t count) {
    const uint32_t shift = writer.bit_index;
    uint8_t* dst = writer.cur;
    uint8_t carry = shift == 0 ? 0 : uint8_t(*dst & (0xFF00u >> shift));
    const uint32_t whole = count / 8;
    uint32_t i = 0;
    for (; i + 8 <= whole; i += 8) {
        const uint64_t w = load_be64(src + i);
        store_be64(dst + i, (uint64_t(carry) << 56) | (w >> shift));
        carry = uint8_t(w << (8 - shift));
    }
    for (; i < whole; ++i) {
        dst[i] = uint8_t(carry | (src[i] >> shift));
        carry = uint8_t(src[i] << (8 - shift));
    }
    const uint32_t tail = count % 8;
    if (shift + tail != 0) {
        const uint8_t last = tail == 0 ? 0 : uint8_t(src[whole] & (0xFF00u >> tail));
        dst[whole] = uint8_t(carry | (last >> shift));
        if (shift + tail > 8) dst[whole + 1] = uint8_t(last << (8 - shift));
    }
    writer.cur = dst + (shift + count) / 8;
    writer.bit_index = (shift + count) % 8;
}

// A pair predicted and coded in one pass: U's codes go straight to
// `writer`, V's to `staging` and are appended after them, so the bits are
// those of the two passes one after the other. `staging` is the work
// buffer, 5 bytes per sample of every channel, so V's codes fit even all
// escaped. False, with nothing written, when the pair does not suit the
// one-pass loop.
bool code_pair_in_one_pass(BitWriter& writer, ALACEncoder::FinalSignal* signals, uint32_t frames,
                           uint32_t chan_bits, uint8_t* staging) {
    using namespace golomb_coder;
    if (chan_bits - 1 >= 32) return false;
    const GolombParams params;
    CodeSink sink_u(writer.cur, writer.bit_index);
    CodeSink sink_v(staging, 0);
    ResidualStream code_u(sink_u, frames, params, chan_bits);
    ResidualStream code_v(sink_v, frames, params, chan_bits);
    if (!predict_and_code_pair_timed(signals[0].input, signals[1].input, int32_t(frames), chan_bits,
                                     element_den_shift, code_u, code_v)) {
        return false;
    }
    code_u.finish();
    code_v.finish();
    const uint32_t start = bit_position(writer);
    writer.cur = sink_u.cur;
    writer.bit_index = sink_u.used;
    signals[0].bits = bit_position(writer) - start;
    signals[1].bits = uint32_t(sink_v.cur - staging) * 8 + sink_v.used;
    append_bits(writer, staging, signals[1].bits);
    return true;
}

}  // namespace

// Codes in place when even all-escaped residuals fit the writer's capacity.
// Otherwise (32-bit pairs: 16 shifted-off bits and a 26-bit escape exceed
// the 5 bytes a sample is given) the codes go to the work buffer first and
// are appended only when the element stays below `escape_bits`; the output
// bits are the same either way.
int32_t ALACEncoder::code_final_pass(BitWriter& writer, const BitWriter& start,
                                     FinalSignal* signals, uint32_t signal_count, uint32_t frames,
                                     uint32_t chan_bits, uint32_t escape_bits, uint32_t& measured) {
    const uint64_t worst = uint64_t(signal_count) * worst_case_code_bits(frames, chan_bits);
    const bool in_place = bit_position(writer) + worst <= uint64_t(writer.byte_size) * 8;
    const uint32_t codes_start = bit_position(writer);
    BitWriter staged;
    bit_writer_init(staged, work_buf, max_output_bytes);
    BitWriter& target = in_place ? writer : staged;
    if (signal_count == 2 && in_place &&
        code_pair_in_one_pass(writer, signals, frames, chan_bits, work_buf)) {
        measured = bit_position(writer) - bit_position(start);
        code_starts_.v_bits[pair_instance_] = codes_start + signals[0].bits;
        return 0;
    }
    predict_all(signals, signal_count, frames, chan_bits);
    for (uint32_t s = 0; s < signal_count; ++s) {
        FinalSignal& f = signals[s];
        GolombParams params;
        set_golomb_params(params);
        const int32_t status =
            golomb_encode(params, f.input.residual, target, frames, chan_bits, f.bits);
        if (status != 0) return status;
    }
    measured = bit_position(writer) - bit_position(start);
    if (signal_count == 2) code_starts_.v_bits[pair_instance_] = codes_start + signals[0].bits;
    if (!in_place) {
        measured += bit_position(staged);
        if (measured < escape_bits) append_bits(writer, work_buf, bit_position(staged));
    }
    return 0;
}

}  // namespace qv
