// The single-channel element coder of ALACEncoder.
#include <cstdio>
#include <initializer_list>

#include "alac/alac_encoder.h"
#include "alac/element_io.h"

namespace qv {

namespace {

// Reads one channel (every `step` bytes) as the signal to predict; 24- and
// 32-bit samples leave their low bytes in `shift_buf`.
void read_channel(int32_t depth, const uint8_t* pcm, uint32_t step, uint32_t frames,
                  int32_t* signal, uint16_t* shift_buf) {
    switch (depth) {
        case 16:
            for (uint32_t i = 0; i < frames; ++i, pcm += step) signal[i] = load_s16(pcm);
            break;
        case 20:
            for (uint32_t i = 0; i < frames; ++i, pcm += step) signal[i] = load_s24_le(pcm) >> 4;
            break;
        case 24:
            for (uint32_t i = 0; i < frames; ++i, pcm += step) {
                const int32_t s = load_s24_le(pcm);
                shift_buf[i] = uint16_t(s & 0xFF);
                signal[i] = s >> 8;
            }
            break;
        default:
            for (uint32_t i = 0; i < frames; ++i, pcm += step) {
                const int32_t s = load_s32(pcm);
                shift_buf[i] = uint16_t(s & 0xFFFF);
                signal[i] = s >> 16;
            }
            break;
    }
}

// Full samples at the coded depth: 20-bit ones come out of the top of their
// container, 24-bit ones as the whole signed value.
void write_channel_verbatim(BitWriter& writer, int32_t depth, const uint8_t* pcm, uint32_t step,
                            uint32_t frames) {
    const uint32_t bits = uint32_t(depth);
    for (uint32_t i = 0; i < frames; ++i, pcm += step) {
        int32_t s;
        switch (depth) {
            case 16: s = load_s16(pcm); break;
            case 20: s = load_s24_le(pcm) >> 4; break;
            case 24: s = load_s24_le(pcm); break;
            default: s = load_s32(pcm); break;
        }
        write_bits(writer, uint32_t(s), bits);
    }
}

}  // namespace

int32_t ALACEncoder::encode_single(BitWriter& writer, const uint8_t* pcm, uint32_t stride,
                                   uint32_t channel, uint32_t frames) {
    if (!is_coded_bit_depth(bit_depth)) return alac_param_error;
    const BitWriter start = writer;
    const uint32_t bytes_shifted = shifted_bytes_for(bit_depth);
    const uint32_t chan_bits = uint32_t(bit_depth) - 8 * bytes_shifted;
    const bool partial = frames != frame_size;
    const uint32_t n_div8 = frames >> 3;
    const uint32_t n_div32 = frames >> 5;
    const uint32_t step = stride * ((uint32_t(bit_depth) + 7) / 8);
    int16_t(&sets)[16][16] = coefs_u.sets[channel];

    read_channel(bit_depth, pcm, step, frames, mix_u, shift_buf);

    // Predictor order: seven training passes over 1/32 of the packet and one
    // over 1/8, whose residuals are then coded to measure the order.
    uint32_t best = 1u << 31;
    uint32_t order_u = 4;
    for (uint32_t order : {4u, 8u}) {
        int16_t* coefs = sets[order - 1];
        for (int pass = 0; pass < 7; ++pass) {
            predict_block_timed(mix_u, residual_u, int32_t(n_div32), coefs, int32_t(order),
                                chan_bits, element_den_shift);
        }
        predict_block_timed(mix_u, residual_u, int32_t(n_div8), coefs, int32_t(order), chan_bits,
                            element_den_shift);
        int32_t status = 0;
        const uint32_t bits = coded_bits(residual_u, n_div8, chan_bits, status);
        if (status != 0) return status;
        const uint32_t cost = 8 * bits + 16 * order;
        if (cost < best) {
            best = cost;
            order_u = order;
        }
    }

    const uint32_t estimate = best + 32 + (partial ? 32 : 0) + frames * 8 * bytes_shifted;
    const uint32_t escape_bits = verbatim_element_bits(frames, bit_depth, 1, partial);
    if (estimate < escape_bits) {
        write_element_flags(writer, partial, bytes_shifted, false, frames);
        write_mix_params(writer, 0, 0);
        write_predictor_params(writer, sets[order_u - 1], order_u);
        for (uint32_t i = 0; bytes_shifted > 0 && i < frames; ++i) {
            write_bits(writer, shift_buf[i], 8 * bytes_shifted);
        }
        FinalSignal signal{{mix_u, residual_u, sets[order_u - 1], int32_t(order_u)}, 0};
        uint32_t measured = 0;
        const int32_t status =
            code_final_pass(writer, start, &signal, 1, frames, chan_bits, escape_bits, measured);
        if (status != 0) return status;
        if (measured < escape_bits) return 0;
        writer = start;
        std::printf("compressed frame too big: %u vs. %u\n", measured, escape_bits);
    }

    write_element_flags(writer, partial, 0, true, frames);
    write_channel_verbatim(writer, bit_depth, pcm, step, frames);
    return 0;
}

}  // namespace qv
