#include "alac/alac_decoder.h"

#include <optional>

#include "alac/channel_layout.h"
#include "alac/golomb_decoder.h"
#include "alac/golomb_reader.h"
#include "alac/unpredictor.h"

namespace qv {
namespace {

constexpr uint32_t tag_single = 0;
constexpr uint32_t tag_pair = 1;
constexpr uint32_t tag_end = 7;

inline bool fits(int32_t x, uint32_t bits) {
    const uint32_t shift = 32 - bits;
    return (static_cast<int32_t>(static_cast<uint32_t>(x) << shift) >> shift) == x;
}

inline int32_t sign_extend(uint32_t x, uint32_t bits) {
    const uint32_t shift = 32 - bits;
    return static_cast<int32_t>(x << shift) >> shift;
}

// Per-channel predictor description of a compressed element.
struct ChannelCoding {
    uint32_t den_shift = 0;
    uint32_t order = 0;
    int16_t coefs[32] = {};
};

}  // namespace

struct AlacDecoder::ElementHeader {
    bool partial = false;
    uint32_t bytes_shifted = 0;
    bool uncompressed = false;
    uint32_t frames = 0;
};

bool AlacDecoder::configure(const AlacDecoderConfig& config, std::string& error) {
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
    samples_.assign(size_t(config.channels) * config.frame_length, 0);
    low_bits_.assign(size_t(2) * config.frame_length, 0);
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

AlacDecodeStatus AlacDecoder::decode_frame(const uint8_t* data, size_t size) {
    frame_count_ = 0;
    if (!configured_) return AlacDecodeStatus::not_configured;
    BitReader reader(data, size);
    const AlacDecodeStatus status = parse_frame(reader);
    if (status != AlacDecodeStatus::ok) frame_count_ = 0;
    return status;
}

AlacDecodeStatus AlacDecoder::parse_frame(BitReader& reader) {
    const uint32_t channels = config_.channels;
    uint32_t instances[2] = {0, 0};
    uint32_t position = 0;
    while (position < channels) {
        const uint32_t tag = reader.read(3);
        if (reader.overrun()) return AlacDecodeStatus::truncated;
        if (tag == tag_end) return AlacDecodeStatus::missing_channels;
        if (tag != tag_single && tag != tag_pair) return AlacDecodeStatus::bad_element_tag;
        if (tag != element_tag_at(channels, position)) return AlacDecodeStatus::unexpected_element;
        if (reader.read(4) != instances[tag]++) return AlacDecodeStatus::bad_instance;
        const AlacDecodeStatus status = decode_element(reader, tag, position);
        if (status != AlacDecodeStatus::ok) return status;
        position += tag == tag_pair ? 2 : 1;
    }
    const uint32_t tag = reader.read(3);
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
    const uint32_t reserved = reader.read(12);
    header.partial = reader.read_bit();
    header.bytes_shifted = reader.read(2);
    header.uncompressed = reader.read_bit();
    header.frames = header.partial ? reader.read(32) : config_.frame_length;
    if (reader.overrun()) return AlacDecodeStatus::truncated;
    if (reserved != 0) return AlacDecodeStatus::reserved_bits;
    if (header.frames == 0 || header.frames > config_.frame_length)
        return AlacDecodeStatus::bad_frame_count;
    if (frame_count_ == 0) frame_count_ = header.frames;
    else if (frame_count_ != header.frames) return AlacDecodeStatus::frame_count_mismatch;
    return AlacDecodeStatus::ok;
}

AlacDecodeStatus AlacDecoder::decode_element(BitReader& reader, uint32_t tag, uint32_t position) {
    ElementHeader header;
    const AlacDecodeStatus status = read_header(reader, header);
    if (status != AlacDecodeStatus::ok) return status;
    const uint32_t width = tag == tag_pair ? 2 : 1;
    if (header.uncompressed) {
        if (header.bytes_shifted != 0) return AlacDecodeStatus::bad_bytes_shifted;
        return decode_uncompressed(reader, position, width);
    }
    return decode_compressed(reader, header, position, width);
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
                                                uint32_t position, uint32_t width) {
    const uint32_t frames = frame_count_;
    const uint32_t low_width = 8 * header.bytes_shifted;
    if (low_width >= config_.bit_depth) return AlacDecodeStatus::bad_bytes_shifted;
    // A pair's side signal needs one bit more than its channels.
    const uint32_t high_width = config_.bit_depth - low_width;
    const uint32_t chan_bits = high_width + (width - 1);
    if (chan_bits > 32) return AlacDecodeStatus::bad_bytes_shifted;

    const uint32_t mix_bits = reader.read(8);
    const uint32_t mix_res = reader.read(8);
    if (width == 1 && (mix_bits != 0 || mix_res != 0)) return AlacDecodeStatus::bad_single_mix;
    if (mix_res != 0 && mix_bits >= 32) return AlacDecodeStatus::bad_mix_bits;

    ChannelCoding coding[2];
    for (uint32_t ch = 0; ch < width; ++ch) {
        // Mode in the high four bits, prediction shift in the low four; weight
        // factor in the high three bits, order in the low five.
        const uint32_t mode_shift = reader.read(8);
        const uint32_t weight_order = reader.read(8);
        if (mode_shift >> 4 != 0) return AlacDecodeStatus::bad_prediction_mode;
        coding[ch].den_shift = mode_shift & 15;
        if (coding[ch].den_shift == 0) return AlacDecodeStatus::bad_den_shift;
        if (weight_order >> 5 != 4) return AlacDecodeStatus::bad_weight;
        coding[ch].order = weight_order & 31;
        for (uint32_t k = 0; k < coding[ch].order; ++k)
            coding[ch].coefs[k] = static_cast<int16_t>(reader.read(16));
    }

    if (low_width != 0) {
        if (reader.bits_left() < uint64_t(frames) * width * low_width)
            return AlacDecodeStatus::truncated;
        for (uint32_t i = 0; i < frames * width; ++i) low_bits_[i] = reader.read(low_width);
    }
    if (reader.overrun()) return AlacDecodeStatus::truncated;

    int32_t* signal[2] = {by_position_[position], by_position_[position + width - 1]};
    const GolombDecodeParams params{config_.mb, config_.pb, config_.kb};
    // A pair's V residuals, at the usual rate, are read as its filter runs.
    const bool stream_v = width == 2 && params.pb == 40;
    for (uint32_t ch = 0; ch < width - uint32_t(stream_v); ++ch) {
        const AlacDecodeStatus status = golomb_decode(reader, params, signal[ch], frames, chan_bits);
        if (status != AlacDecodeStatus::ok) return status;
    }
    std::optional<golomb_reader::UsualResidualReader> v_rest;
    if (stream_v) {
        v_rest.emplace(reader, params, signal[1], frames, chan_bits);
        const AlacDecodeStatus status = v_rest->decode_to(coding[1].order == 0 ? frames : 1);
        if (status != AlacDecodeStatus::ok) return status;
    }
    UnpredictorInput filter[2];
    for (uint32_t ch = 0; ch < width; ++ch) {
        int32_t* x = signal[ch];
        // Samples that the filter does not wrap must already fit the width.
        const uint32_t unwrapped = coding[ch].order == 0 ? frames : 1;
        for (uint32_t i = 0; i < unwrapped; ++i)
            if (!fits(x[i], chan_bits)) return AlacDecodeStatus::sample_out_of_range;
        filter[ch] = {x, coding[ch].coefs, coding[ch].order, coding[ch].den_shift};
    }
    if (stream_v) {
        const AlacDecodeStatus status =
            unpredict_block_pair_decoding(filter[0], filter[1], frames, chan_bits, *v_rest);
        if (status != AlacDecodeStatus::ok) return status;
        v_rest->store(reader);
    } else if (width == 2) {
        unpredict_block_pair(filter[0], filter[1], frames, chan_bits);
    } else {
        unpredict_block(signal[0], frames, coding[0].coefs, coding[0].order, chan_bits,
                        coding[0].den_shift);
    }

    if (width == 2) {
        int32_t* u = signal[0];
        int32_t* v = signal[1];
        if (mix_res != 0) {
            // U = (r·L + (2^m − r)·R) >> m and V = L − R give
            // R = U − ((r·V) >> m) and L = R + V.
            for (uint32_t i = 0; i < frames; ++i) {
                const uint32_t side = static_cast<uint32_t>(v[i]);
                const int32_t right = static_cast<int32_t>(
                    static_cast<uint32_t>(u[i]) -
                    static_cast<uint32_t>(static_cast<int32_t>(mix_res * side) >> mix_bits));
                u[i] = static_cast<int32_t>(static_cast<uint32_t>(right) + side);
                v[i] = right;
            }
        }
        // Without an early exit, so that the check runs as vector code.
        bool all_fit = true;
        for (uint32_t ch = 0; ch < 2; ++ch)
            for (uint32_t i = 0; i < frames; ++i) all_fit &= fits(signal[ch][i], high_width);
        if (!all_fit) return AlacDecodeStatus::sample_out_of_range;
    }

    if (low_width != 0) {
        for (uint32_t ch = 0; ch < width; ++ch) {
            int32_t* x = signal[ch];
            const uint32_t* low = low_bits_.data() + ch;
            for (uint32_t i = 0; i < frames; ++i)
                x[i] = static_cast<int32_t>((static_cast<uint32_t>(x[i]) << low_width) |
                                            low[size_t(i) * width]);
        }
    }
    return AlacDecodeStatus::ok;
}

}  // namespace qv
