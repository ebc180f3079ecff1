#include "alac/decoder/alac_decoder.h"

#include <algorithm>
#include <optional>

#include "alac/common/alac_format.h"
#include "alac/common/channel_layout.h"
#include "alac/decoder/golomb_decoder.h"
#include "alac/decoder/golomb_reader.h"
#include "alac/decoder/unpredictor.h"
#include "common/int_width.h"

namespace qv {
namespace {

using alac::tag_end;
using alac::tag_pair;
using alac::tag_single;

// A pair's last pass, in one sweep over both signals: unmixing, the check
// that every sample fits `high_width` bits, and the shifted-off low bits
// (`low` holds them frame by frame, U's then V's) put back below. U and V
// become the left and right channels. False when a sample does not fit.
template <bool Mixed, bool Shifted>
bool finish_pair_samples(int32_t* u, int32_t* v, uint32_t frames, uint32_t mix_bits,
                         uint32_t mix_res, uint32_t high_width, uint32_t low_width,
                         const uint32_t* low) {
    // x fits when x + 2^(high_width-1), taken unsigned, has no bit at
    // high_width or above; collected without an exit so the loop vectorizes.
    // (The shift comes in two parts, so that a width of 32 shifts all out.)
    const uint32_t half = 1u << (high_width - 1);
    const uint32_t top = high_width - 1;
    uint32_t over = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        uint32_t left = static_cast<uint32_t>(u[i]);
        uint32_t right = static_cast<uint32_t>(v[i]);
        if constexpr (Mixed) {
            // U = (r·L + (2^m − r)·R) >> m and V = L − R give
            // R = U − ((r·V) >> m) and L = R + V.
            const uint32_t side = right;
            right = left - static_cast<uint32_t>(static_cast<int32_t>(mix_res * side) >> mix_bits);
            left = right + side;
        }
        over |= (((left + half) >> top) >> 1) | (((right + half) >> top) >> 1);
        if constexpr (Shifted) {
            left = (left << low_width) | low[2 * size_t(i)];
            right = (right << low_width) | low[2 * size_t(i) + 1];
        }
        u[i] = static_cast<int32_t>(left);
        v[i] = static_cast<int32_t>(right);
    }
    return over == 0;
}

}  // namespace

struct AlacDecoder::ElementHeader {
    bool partial = false;
    uint32_t bytes_shifted = 0;
    bool uncompressed = false;
    uint32_t frames = 0;
};

bool AlacDecoder::configure(const MagicCookie& config, std::string& error) {
    configured_ = false;
    frame_count_ = 0;
    const uint32_t depth = config.bit_depth;
    if (depth != 16 && depth != 20 && depth != 24 && depth != 32) {
        error = "unsupported ALAC bit depth";
        return false;
    }
    if (config.channels < 1 || config.channels > 8) {
        error = "unsupported ALAC channel count";
        return false;
    }
    if (config.frame_length < 1 || config.frame_length > max_frame_length) {
        error = "unsupported ALAC frame length";
        return false;
    }
    if (config.kb < 1 || config.kb > 31) {
        error = "unsupported ALAC Rice parameter limit";
        return false;
    }
    config_ = config;
    golomb_ = golomb_params_from(config.mb, config.pb, config.kb);
    samples_.assign(size_t(config.channels) * config.frame_length, 0);
    low_bits_.assign(size_t(2) * config.frame_length, 0);
    pending_low_bits_.assign(config.frame_length, 0);
    pending_single_.x = nullptr;
    for (uint32_t pos = 0; pos < 8; ++pos) {
        by_position_[pos] = nullptr;
        by_input_[pos] = nullptr;
    }
    for (uint32_t pos = 0; pos < config.channels; ++pos) {
        by_position_[pos] = samples_.data() + size_t(pos) * config.frame_length;
        by_input_[ChannelOrderTable[config.channels][pos]] = by_position_[pos];
    }
    configured_ = true;
    return true;
}

AlacDecodeStatus AlacDecoder::decode_frame(const uint8_t* data, size_t size,
                                           const PairCodeStarts* starts) {
    frame_count_ = 0;
    if (!configured_) return AlacDecodeStatus::not_configured;
    BitReader reader(data, size);
    starts_ = starts;
    pending_single_.x = nullptr;
    const AlacDecodeStatus status = parse_frame(reader);
    starts_ = nullptr;
    if (status != AlacDecodeStatus::ok) frame_count_ = 0;
    return status;
}

AlacDecodeStatus AlacDecoder::parse_frame(BitReader& reader) {
    const uint32_t channels = config_.channels;
    uint32_t instances[2] = {0, 0};
    uint32_t position = 0;
    while (position < channels) {
        const uint32_t tag = reader.read(alac::tag_bits);
        if (reader.overrun()) return AlacDecodeStatus::truncated;
        if (tag == tag_end) return AlacDecodeStatus::missing_channels;
        if (tag != tag_single && tag != tag_pair) return AlacDecodeStatus::bad_element_tag;
        if (tag != element_tag_at(channels, position)) return AlacDecodeStatus::unexpected_element;
        const uint32_t instance = instances[tag]++;
        if (reader.read(alac::instance_bits) != instance) return AlacDecodeStatus::bad_instance;
        const AlacDecodeStatus status = decode_element(reader, tag, instance, position);
        if (status != AlacDecodeStatus::ok) return status;
        position += tag == tag_pair ? 2 : 1;
    }
    finish_pending_single();
    const uint32_t tag = reader.read(alac::tag_bits);
    const uint32_t pad = static_cast<uint32_t>((8 - reader.bit_position() % 8) % 8);
    const uint32_t padding = reader.read(pad);
    if (reader.overrun()) return AlacDecodeStatus::truncated;
    if (tag == tag_single || tag == tag_pair) return AlacDecodeStatus::extra_element;
    if (tag != tag_end) return AlacDecodeStatus::bad_element_tag;
    if (padding != 0) return AlacDecodeStatus::nonzero_padding;
    if (reader.bits_left() != 0) return AlacDecodeStatus::trailing_bytes;
    return AlacDecodeStatus::ok;
}

// Header shared by both element kinds: 12 reserved bits, partial flag, bytes
// shifted (2 bits), uncompressed flag, and the 32-bit frame count when partial.
AlacDecodeStatus AlacDecoder::read_header(BitReader& reader, ElementHeader& header) {
    const uint32_t reserved = reader.read(alac::reserved_bits);
    header.partial = reader.read_bit();
    header.bytes_shifted = reader.read(alac::bytes_shifted_bits);
    header.uncompressed = reader.read_bit();
    header.frames = header.partial ? reader.read(alac::frame_count_bits) : config_.frame_length;
    if (reader.overrun()) return AlacDecodeStatus::truncated;
    if (reserved != 0) return AlacDecodeStatus::reserved_bits;
    if (header.frames == 0 || header.frames > config_.frame_length)
        return AlacDecodeStatus::bad_frame_count;
    if (frame_count_ == 0)
        frame_count_ = header.frames;
    else if (frame_count_ != header.frames)
        return AlacDecodeStatus::frame_count_mismatch;
    return AlacDecodeStatus::ok;
}

AlacDecodeStatus AlacDecoder::decode_element(BitReader& reader, uint32_t tag, uint32_t instance,
                                             uint32_t position) {
    ElementHeader header;
    const AlacDecodeStatus status = read_header(reader, header);
    if (status != AlacDecodeStatus::ok) return status;
    const uint32_t width = tag == tag_pair ? 2 : 1;
    if (header.uncompressed) {
        if (header.bytes_shifted != 0) return AlacDecodeStatus::bad_bytes_shifted;
        return decode_uncompressed(reader, position, width);
    }
    // A pair's instance is below 4 within 8 channels.
    const size_t v_start = width == 2 && starts_ != nullptr ? starts_->v_bits[instance] : 0;
    return decode_compressed(reader, header, position, width, v_start);
}

// Every sample at the full bit depth, frame by frame (pair: left, then right).
AlacDecodeStatus AlacDecoder::decode_uncompressed(BitReader& reader, uint32_t position,
                                                  uint32_t width) {
    const uint32_t depth = config_.bit_depth;
    if (reader.bits_left() < uint64_t(frame_count_) * width * depth)
        return AlacDecodeStatus::truncated;
    int32_t* out[2] = {by_position_[position], by_position_[position + width - 1]};
    for (uint32_t i = 0; i < frame_count_; ++i)
        for (uint32_t ch = 0; ch < width; ++ch) out[ch][i] = sign_extend(reader.read(depth), depth);
    return AlacDecodeStatus::ok;
}

AlacDecodeStatus AlacDecoder::decode_compressed(BitReader& reader, const ElementHeader& header,
                                                uint32_t position, uint32_t width, size_t v_start) {
    const uint32_t frames = frame_count_;
    const uint32_t low_width = 8 * header.bytes_shifted;
    if (low_width >= config_.bit_depth) return AlacDecodeStatus::bad_bytes_shifted;
    // A pair's side signal needs one bit more than its channels.
    const uint32_t high_width = config_.bit_depth - low_width;
    const uint32_t chan_bits = high_width + (width - 1);
    if (chan_bits > 32) return AlacDecodeStatus::bad_bytes_shifted;

    const uint32_t mix_bits = reader.read(alac::mix_field_bits);
    const uint32_t mix_res = reader.read(alac::mix_field_bits);
    if (width == 1 && (mix_bits != 0 || mix_res != 0)) return AlacDecodeStatus::bad_single_mix;
    if (mix_res != 0 && mix_bits >= 32) return AlacDecodeStatus::bad_mix_bits;

    ChannelCoding coding[2];
    for (uint32_t ch = 0; ch < width; ++ch) {
        const uint32_t mode_shift = reader.read(alac::predictor_byte_bits);
        const uint32_t weight_order = reader.read(alac::predictor_byte_bits);
        if (alac::mode_of(mode_shift) != alac::prediction_mode)
            return AlacDecodeStatus::bad_prediction_mode;
        coding[ch].den_shift = alac::den_shift_of(mode_shift);
        if (coding[ch].den_shift == 0) return AlacDecodeStatus::bad_den_shift;
        if (alac::weight_of(weight_order) != alac::predictor_weight)
            return AlacDecodeStatus::bad_weight;
        coding[ch].order = alac::order_of(weight_order);
        for (uint32_t k = 0; k < coding[ch].order; ++k)
            coding[ch].coefs[k] = static_cast<int16_t>(reader.read(alac::coef_bits));
    }

    if (low_width != 0) {
        if (reader.bits_left() < uint64_t(frames) * width * low_width)
            return AlacDecodeStatus::truncated;
        reader.read_byte_fields(low_bits_.data(), size_t(frames) * width, low_width);
    }
    if (reader.overrun()) return AlacDecodeStatus::truncated;

    int32_t* signal[2] = {by_position_[position], by_position_[position + width - 1]};
    if (width == 1) return decode_single(reader, coding[0], signal[0], chan_bits, low_width);
    if (!rebuild_side_by_side(reader, v_start, coding, signal, chan_bits)) {
        const AlacDecodeStatus status = rebuild_pair(reader, coding, signal, chan_bits);
        if (status != AlacDecodeStatus::ok) return status;
    }

    if (!finish_pair(signal[0], signal[1], frames, mix_bits, mix_res, high_width, low_width))
        return AlacDecodeStatus::sample_out_of_range;
    return AlacDecodeStatus::ok;
}

bool AlacDecoder::finish_pair(int32_t* u, int32_t* v, uint32_t frames, uint32_t mix_bits,
                              uint32_t mix_res, uint32_t high_width, uint32_t low_width) const {
    const uint32_t* low = low_bits_.data();
    if (mix_res != 0) {
        return low_width != 0 ? finish_pair_samples<true, true>(u, v, frames, mix_bits, mix_res,
                                                                high_width, low_width, low)
                              : finish_pair_samples<true, false>(u, v, frames, mix_bits, mix_res,
                                                                 high_width, 0, low);
    }
    return low_width != 0
               ? finish_pair_samples<false, true>(u, v, frames, 0, 0, high_width, low_width, low)
               : finish_pair_samples<false, false>(u, v, frames, 0, 0, high_width, 0, low);
}

// A single element's residuals; its filter waits for the frame's next single
// element, so that the two run as one pair (channel layouts with a centre and
// an LFE channel have two), or for the end of the frame.
AlacDecodeStatus AlacDecoder::decode_single(BitReader& reader, ChannelCoding& coding, int32_t* x,
                                            uint32_t chan_bits, uint32_t low_width) {
    const uint32_t frames = frame_count_;
    const GolombParams& params = golomb_;
    const AlacDecodeStatus status = golomb_decode(reader, params, x, frames, chan_bits);
    if (status != AlacDecodeStatus::ok) return status;
    if (!unwrapped_samples_fit(x, coding, chan_bits)) return AlacDecodeStatus::sample_out_of_range;

    PendingSingle& waiting = pending_single_;
    if (waiting.x != nullptr && waiting.chan_bits == chan_bits) {
        ChannelCoding& first = waiting.coding;
        unpredict_block_pair({waiting.x, first.coefs, first.order, first.den_shift},
                             {x, coding.coefs, coding.order, coding.den_shift}, frames, chan_bits);
        put_back_low_bits(waiting.x, pending_low_bits_.data(), waiting.low_width);
        put_back_low_bits(x, low_bits_.data(), low_width);
        waiting.x = nullptr;
        return AlacDecodeStatus::ok;
    }
    finish_pending_single();
    waiting.x = x;
    waiting.coding = coding;
    waiting.chan_bits = chan_bits;
    waiting.low_width = low_width;
    if (low_width != 0) std::copy_n(low_bits_.data(), frames, pending_low_bits_.data());
    return AlacDecodeStatus::ok;
}

// The waiting single element's filter on its own.
void AlacDecoder::finish_pending_single() {
    PendingSingle& waiting = pending_single_;
    if (waiting.x == nullptr) return;
    unpredict_block(waiting.x, frame_count_, waiting.coding.coefs, waiting.coding.order,
                    waiting.chan_bits, waiting.coding.den_shift);
    put_back_low_bits(waiting.x, pending_low_bits_.data(), waiting.low_width);
    waiting.x = nullptr;
}

// A single element's shifted-off low bits, one per sample, below its samples.
void AlacDecoder::put_back_low_bits(int32_t* x, const uint32_t* low, uint32_t low_width) const {
    if (low_width == 0) return;
    for (uint32_t i = 0; i < frame_count_; ++i)
        x[i] = static_cast<int32_t>((static_cast<uint32_t>(x[i]) << low_width) | low[i]);
}

// A pair's residual codes, read one signal after the other, and its
// signals rebuilt from them.
AlacDecodeStatus AlacDecoder::rebuild_pair(BitReader& reader, ChannelCoding* coding,
                                           int32_t* const* signal, uint32_t chan_bits) {
    const uint32_t frames = frame_count_;
    const GolombParams& params = golomb_;
    // V's residuals, at the usual rate, are read as the filter runs.
    const bool stream_v = params.pb == usual_pb;
    AlacDecodeStatus status = golomb_decode(reader, params, signal[0], frames, chan_bits);
    if (status == AlacDecodeStatus::ok && !stream_v)
        status = golomb_decode(reader, params, signal[1], frames, chan_bits);
    if (status != AlacDecodeStatus::ok) return status;
    std::optional<golomb_reader::UsualResidualReader> v_rest;
    if (stream_v) {
        v_rest.emplace(reader, params, signal[1], frames, chan_bits);
        status = v_rest->decode_to(coding[1].order == 0 ? frames : 1);
        if (status != AlacDecodeStatus::ok) return status;
    }
    UnpredictorInput filter[2];
    for (uint32_t ch = 0; ch < 2; ++ch) {
        if (!unwrapped_samples_fit(signal[ch], coding[ch], chan_bits))
            return AlacDecodeStatus::sample_out_of_range;
        filter[ch] = {signal[ch], coding[ch].coefs, coding[ch].order, coding[ch].den_shift};
    }
    if (!stream_v) {
        unpredict_block_pair(filter[0], filter[1], frames, chan_bits);
        return AlacDecodeStatus::ok;
    }
    status = unpredict_block_pair_decoding(filter[0], filter[1], frames, chan_bits, *v_rest);
    if (status != AlacDecodeStatus::ok) return status;
    v_rest->store(reader);
    return AlacDecodeStatus::ok;
}

// Samples that the filter passes through unwrapped (all of them at order 0,
// else the first) must already fit the width.
bool AlacDecoder::unwrapped_samples_fit(const int32_t* x, const ChannelCoding& coding,
                                        uint32_t chan_bits) const {
    const uint32_t unwrapped = coding.order == 0 ? frame_count_ : 1;
    for (uint32_t i = 0; i < unwrapped; ++i)
        if (!fits_bits(x[i], chan_bits)) return false;
    return true;
}

// A pair whose V codes start at `v_start`, read side by side with U's in
// the rebuild, which takes about the time of the rebuild alone. True only
// when that worked and U's codes ended exactly at `v_start`, so that the
// result is the one of reading them one after the other; otherwise the
// coefficients are as they came and the reader has not moved.
bool AlacDecoder::rebuild_side_by_side(BitReader& reader, size_t v_start, ChannelCoding* coding,
                                       int32_t* const* signal, uint32_t chan_bits) {
    if (v_start <= reader.bit_position() || v_start >= reader.bit_position() + reader.bits_left())
        return false;
    if (golomb_.pb != usual_pb) return false;
    const uint32_t frames = frame_count_;
    const GolombParams& params = golomb_;
    int16_t saved[2][8];
    for (uint32_t ch = 0; ch < 2; ++ch) {
        if (coding[ch].order != 4 && coding[ch].order != 8) return false;
        std::copy_n(coding[ch].coefs, 8, saved[ch]);
    }
    BitReader v_reader = reader;
    v_reader.move_to(v_start);
    golomb_reader::UsualResidualReader u_rest(reader, params, signal[0], frames, chan_bits);
    golomb_reader::UsualResidualReader v_rest(v_reader, params, signal[1], frames, chan_bits);
    const UnpredictorInput u{signal[0], coding[0].coefs, coding[0].order, coding[0].den_shift};
    const UnpredictorInput v{signal[1], coding[1].coefs, coding[1].order, coding[1].den_shift};
    // Sample 0 passes through the filter as it is, so its check may come after.
    if (unpredict_block_pair_reading_both(u, v, frames, chan_bits, u_rest, v_rest) &&
        u_rest.bit_position() == v_start && fits_bits(signal[0][0], chan_bits) &&
        fits_bits(signal[1][0], chan_bits)) {
        v_rest.store(reader);
        return true;
    }
    for (uint32_t ch = 0; ch < 2; ++ch) std::copy_n(saved[ch], 8, coding[ch].coefs);
    return false;
}

}  // namespace qv
