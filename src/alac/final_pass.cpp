// The last predictor and coder pass of an element, kept inside the output
// capacity even when the element turns out too big.
#include "alac/alac_encoder.h"
#include "alac/element_io.h"

namespace qv {

namespace {

// A residual code is at most an escape: nine one-bits and the value itself
// (run counts only follow cheap residuals and never add up to more).
uint32_t worst_case_code_bits(uint32_t frames, uint32_t chan_bits) {
    return frames * (9 + chan_bits);
}

// Predicts one signal over `count` samples and codes the residuals.
int32_t predict_and_code(const int32_t* signal, int32_t* residual, uint32_t count, int16_t* coefs,
                         uint32_t order, uint32_t chan_bits, BitWriter& writer, uint32_t& bits) {
    predict_block_timed(signal, residual, int32_t(count), coefs, int32_t(order), chan_bits,
                        element_den_shift);
    GolombParams params;
    set_golomb_params(params, count);
    return golomb_encode(params, residual, writer, count, chan_bits, bits);
}

// Appends `count` bits from `src`, most significant bit of src[0] first.
void append_bits(BitWriter& writer, const uint8_t* src, uint32_t count) {
    for (; count >= 32; count -= 32, src += 4) {
        write_bits(
            writer,
            (uint32_t(src[0]) << 24) | (uint32_t(src[1]) << 16) | (uint32_t(src[2]) << 8) | src[3],
            32);
    }
    for (; count >= 8; count -= 8, ++src) write_bits(writer, *src, 8);
    if (count > 0) write_bits(writer, uint32_t(*src) >> (8 - count), count);
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
    BitWriter staged;
    bit_writer_init(staged, work_buf, max_output_bytes);
    BitWriter& target = in_place ? writer : staged;
    for (uint32_t s = 0; s < signal_count; ++s) {
        FinalSignal& f = signals[s];
        const int32_t status = predict_and_code(f.signal, f.residual, frames, f.coefs, f.order,
                                                chan_bits, target, f.bits);
        if (status != 0) return status;
    }
    measured = bit_position(writer) - bit_position(start);
    if (!in_place) {
        measured += bit_position(staged);
        if (measured < escape_bits) append_bits(writer, work_buf, bit_position(staged));
    }
    return 0;
}

}  // namespace qv
