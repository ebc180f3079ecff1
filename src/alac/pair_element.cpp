// The channel-pair element coders of ALACEncoder: the searched path, the
// fixed-parameter fast path and the uncompressed element.
#include <cstdio>
#include <initializer_list>

#include "alac/alac_encoder.h"
#include "alac/element_io.h"
#include "alac/encoder_profile.h"
#include "alac/matrix.h"

namespace qv {

namespace {

constexpr uint32_t mix_bits = 2;

// Forms U and V for `count` frames of the pair at `pcm`, splitting off the
// low bytes of 24- and 32-bit samples into `shift_buf`.
void matrix_pair(int32_t depth, const uint8_t* pcm, uint32_t stride, int32_t* u, int32_t* v,
                 uint32_t count, int32_t mix_res, uint16_t* shift_buf, uint32_t bytes_shifted) {
    const int32_t n = static_cast<int32_t>(count);
    switch (depth) {
        case 16: mix16(reinterpret_cast<const int16_t*>(pcm), stride, u, v, n, mix_res); break;
        case 20: mix20(pcm, stride, u, v, n, mix_bits, mix_res); break;
        case 24:
            mix24(pcm, stride, u, v, n, mix_bits, mix_res, shift_buf, int32_t(bytes_shifted));
            break;
        default:
            mix32(reinterpret_cast<const int32_t*>(pcm), stride, u, v, n, mix_res, shift_buf,
                  int32_t(bytes_shifted));
            break;
    }
}

// The compressed pair header after the flags: mix parameters, then U's and
// V's predictor parameters, then one field per frame holding the left and
// right low bytes that were shifted off.
void write_pair_header(BitWriter& writer, uint32_t mix_res, const int16_t* coefs_u,
                       uint32_t order_u, const int16_t* coefs_v, uint32_t order_v,
                       const uint16_t* shift_buf, uint32_t bytes_shifted, uint32_t frames) {
    write_mix_params(writer, mix_bits, mix_res);
    write_predictor_params(writer, coefs_u, order_u);
    write_predictor_params(writer, coefs_v, order_v);
    if (bytes_shifted > 0) {
        const uint32_t low_bits = 8 * bytes_shifted;
        for (uint32_t i = 0; i < frames; ++i) {
            write_bits(writer, (uint32_t(shift_buf[2 * i]) << low_bits) | shift_buf[2 * i + 1],
                       2 * low_bits);
        }
    }
}

}  // namespace

int32_t ALACEncoder::encode_pair(BitWriter& writer, const uint8_t* pcm, uint32_t stride,
                                 uint32_t channel, uint32_t frames) {
    if (!is_coded_bit_depth(bit_depth)) return alac_param_error;
    const BitWriter start = writer;
    const uint32_t bytes_shifted = shifted_bytes_for(bit_depth);
    const uint32_t chan_bits = uint32_t(bit_depth) - 8 * bytes_shifted + 1;
    const bool partial = frames != frame_size;
    const uint32_t n_div8 = frames >> 3;
    const uint32_t n_div32 = frames >> 5;
    int16_t(&sets_u)[16][16] = coefs_u.sets[channel];
    int16_t(&sets_v)[16][16] = coefs_v.sets[channel];
    int32_t status = 0;

    // Matrixing weight: order-8 prediction of the first eighth of the packet
    // under each weight; the first smallest size wins.
    uint32_t best_bits = 1u << 31;
    uint32_t mix_res = 0;
    for (uint32_t res = 0; res <= 4; ++res) {
        matrix_pair(bit_depth, pcm, stride, mix_u, mix_v, n_div8, int32_t(res), shift_buf,
                    bytes_shifted);
        predict_block_pair_timed({mix_u, residual_u, sets_u[7], 8},
                                 {mix_v, residual_v, sets_v[7], 8}, int32_t(n_div8), chan_bits,
                                 element_den_shift);
        const uint32_t bits_u = coded_bits(residual_u, n_div8, chan_bits, status);
        if (status != 0) return status;
        const uint32_t bits_v = coded_bits(residual_v, n_div8, chan_bits, status);
        if (status != 0) return status;
        if (bits_u + bits_v < best_bits) {
            best_bits = bits_u + bits_v;
            mix_res = res;
        }
    }

    matrix_pair(bit_depth, pcm, stride, mix_u, mix_v, frames, int32_t(mix_res), shift_buf,
                bytes_shifted);

    // Predictor order per signal: eight passes over the first 1/32 of the
    // packet train each candidate set, then 1/8 of the residual buffer is
    // coded. Entries past the trained 1/32 still hold the last weight-search
    // residuals; they are part of the measure as they stand.
    uint32_t best_u = 1u << 31;
    uint32_t best_v = 1u << 31;
    uint32_t order_u = 4;
    uint32_t order_v = 4;
    for (uint32_t order : {4u, 8u}) {
        for (int pass = 0; pass < 8; ++pass) {
            predict_block_pair_timed({mix_u, residual_u, sets_u[order - 1], int32_t(order)},
                                     {mix_v, residual_v, sets_v[order - 1], int32_t(order)},
                                     int32_t(n_div32), chan_bits, element_den_shift);
        }
        int32_t ignored = 0;
        const uint32_t cost_u = 8 * coded_bits(residual_u, n_div8, chan_bits, ignored) + 16 * order;
        if (cost_u < best_u) {
            best_u = cost_u;
            order_u = order;
        }
        const uint32_t cost_v = 8 * coded_bits(residual_v, n_div8, chan_bits, ignored) + 16 * order;
        if (cost_v < best_v) {
            best_v = cost_v;
            order_v = order;
        }
    }

    uint32_t estimate = best_u + best_v + 64 + (partial ? 32 : 0);
    if (bytes_shifted > 0) estimate += frames * 16 * bytes_shifted;
    const uint32_t escape_bits = verbatim_element_bits(frames, bit_depth, 2, partial);
    if (estimate >= escape_bits) return encode_pair_verbatim(writer, pcm, stride, frames);

    write_element_flags(writer, partial, bytes_shifted, false, frames);
    write_pair_header(writer, mix_res, sets_u[order_u - 1], order_u, sets_v[order_v - 1], order_v,
                      shift_buf, bytes_shifted, frames);
    FinalSignal signals[2] = {{{mix_u, residual_u, sets_u[order_u - 1], int32_t(order_u)}, 0},
                              {{mix_v, residual_v, sets_v[order_v - 1], int32_t(order_v)}, 0}};
    uint32_t measured = 0;
    status = code_final_pass(writer, start, signals, 2, frames, chan_bits, escape_bits, measured);
    if (status != 0) return status;
    if (measured >= escape_bits) {
        writer = start;
        std::printf("compressed frame too big: %u vs. %u \n", measured, escape_bits);
        encode_pair_verbatim(writer, pcm, stride, frames);
    }
    return 0;
}

int32_t ALACEncoder::encode_pair_fast(BitWriter& writer, const uint8_t* pcm, uint32_t frames) {
    const BitWriter start = writer;
    if (!is_coded_bit_depth(bit_depth)) return alac_param_error;
    const uint32_t bytes_shifted = shifted_bytes_for(bit_depth);
    const uint32_t chan_bits = uint32_t(bit_depth) - 8 * bytes_shifted + 1;
    const bool partial = frames != frame_size;
    int16_t* set_u = coefs_u.sets[0][7];
    int16_t* set_v = coefs_v.sets[0][7];

    // Plain left/right; mix16 books the 16-bit de-interleave to its stage.
    matrix_pair(bit_depth, pcm, 2, mix_u, mix_v, frames, 0, shift_buf, bytes_shifted);

    write_element_flags(writer, partial, bytes_shifted, false, frames);
    write_pair_header(writer, 0, set_u, 8, set_v, 8, shift_buf, bytes_shifted, frames);
    const uint32_t escape_bits = verbatim_element_bits(frames, bit_depth, 2, partial);
    FinalSignal signals[2] = {{{mix_u, residual_u, set_u, 8}, 0},
                              {{mix_v, residual_v, set_v, 8}, 0}};
    uint32_t measured = 0;
    const int32_t status =
        code_final_pass(writer, start, signals, 2, frames, chan_bits, escape_bits, measured);
    if (status != 0) return status;

    const uint32_t estimate =
        signals[0].bits + signals[1].bits + 320 + (partial ? 32 : 0) + frames * 16 * bytes_shifted;
    bool too_big = estimate >= escape_bits;
    if (!too_big) {
        if (measured >= escape_bits) {
            std::printf("compressed frame too big: %u vs. %u\n", measured, escape_bits);
            too_big = true;
        }
    }
    if (too_big) {
        writer = start;
        encode_pair_verbatim(writer, pcm, 2, frames);
    }
    return 0;
}

int32_t ALACEncoder::encode_pair_verbatim(BitWriter& writer, const uint8_t* pcm, uint32_t stride,
                                          uint32_t frames) {
    const bool partial = frames != frame_size;
    code_starts_.v_bits[pair_instance_] = 0;
    write_element_flags(writer, partial, 0, true, frames);
    switch (bit_depth) {
        case 16:
            for (uint32_t i = 0; i < frames; ++i, pcm += 2 * stride) {
                const uint32_t left = uint16_t(load_s16(pcm));
                const uint32_t right = uint16_t(load_s16(pcm + 2));
                write_bits(writer, (left << 16) | right, 32);
            }
            break;
        case 32:
            for (uint32_t i = 0; i < frames; ++i, pcm += 4 * stride) {
                write_bits(writer, uint32_t(load_s32(pcm)), 32);
                write_bits(writer, uint32_t(load_s32(pcm + 4)), 32);
            }
            break;
        default: {
            const int32_t n = int32_t(frames);
            if (bit_depth == 20) {
                mix20(pcm, stride, mix_u, mix_v, n, mix_bits, 0);
            } else {
                mix24(pcm, stride, mix_u, mix_v, n, mix_bits, 0, shift_buf, 0);
            }
            const uint32_t depth = uint32_t(bit_depth);
            for (uint32_t i = 0; i < frames; ++i) {
                write_bits(writer, uint32_t(mix_u[i]), depth);
                write_bits(writer, uint32_t(mix_v[i]), depth);
            }
            break;
        }
    }
    return 0;
}

}  // namespace qv
