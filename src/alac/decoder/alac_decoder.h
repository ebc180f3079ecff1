#pragma once
// Decodes one ALAC frame (one packet) into planar int32 PCM in the input's
// channel order, rejecting any frame that does not follow the bitstream.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "alac/common/alac_format.h"
#include "alac/common/bit_reader.h"
#include "alac/common/golomb_params.h"
#include "alac/common/magic_cookie.h"
#include "alac/common/pair_code_starts.h"
#include "alac/decoder/alac_decode_status.h"

namespace qv {

class AlacDecoder {
public:
    static constexpr uint32_t max_frame_length = alac::packet_frames;

    // Checks the parameters and sizes every buffer; decoding allocates nothing.
    bool configure(const MagicCookie& config, std::string& error);

    // Decodes exactly one frame occupying all `size` bytes. On success the
    // samples are available through channel() until the next call. With
    // `starts` (as the encoder reports them), a pair's U and V codes are read
    // side by side; a start that proves wrong costs time, never a result.
    AlacDecodeStatus decode_frame(const uint8_t* data, size_t size,
                                  const PairCodeStarts* starts = nullptr);

    // Sample frames of the last decoded frame (0 after a failure).
    uint32_t frame_count() const { return frame_count_; }
    // Channel `c` in the input's channel order, frame_count() samples.
    const int32_t* channel(uint32_t c) const { return by_input_[c]; }
    const int32_t* const* channels() const { return by_input_; }
    const MagicCookie& config() const { return config_; }

private:
    struct ElementHeader;
    // Per-channel predictor description of a compressed element.
    struct ChannelCoding {
        uint32_t den_shift = 0;
        uint32_t order = 0;
        int16_t coefs[32] = {};
    };
    // A single element whose residuals are in and whose filter waits.
    struct PendingSingle {
        int32_t* x = nullptr;  // none waiting when null
        ChannelCoding coding;
        uint32_t chan_bits = 0;
        uint32_t low_width = 0;
    };
    AlacDecodeStatus parse_frame(BitReader& reader);
    AlacDecodeStatus decode_element(BitReader& reader, uint32_t tag, uint32_t instance,
                                    uint32_t position);
    AlacDecodeStatus read_header(BitReader& reader, ElementHeader& header);
    AlacDecodeStatus decode_uncompressed(BitReader& reader, uint32_t position, uint32_t width);
    AlacDecodeStatus decode_compressed(BitReader& reader, const ElementHeader& header,
                                       uint32_t position, uint32_t width, size_t v_start);
    AlacDecodeStatus rebuild_pair(BitReader& reader, ChannelCoding* coding, int32_t* const* signal,
                                  uint32_t chan_bits);
    bool unwrapped_samples_fit(const int32_t* x, const ChannelCoding& coding,
                               uint32_t chan_bits) const;
    bool finish_pair(int32_t* u, int32_t* v, uint32_t frames, uint32_t mix_bits, uint32_t mix_res,
                     uint32_t high_width, uint32_t low_width) const;
    AlacDecodeStatus decode_single(BitReader& reader, ChannelCoding& coding, int32_t* x,
                                   uint32_t chan_bits, uint32_t low_width);
    void finish_pending_single();
    void put_back_low_bits(int32_t* x, const uint32_t* low, uint32_t low_width) const;
    bool rebuild_side_by_side(BitReader& reader, size_t v_start, ChannelCoding* coding,
                              int32_t* const* signal, uint32_t chan_bits);

    MagicCookie config_{};
    GolombParams golomb_{};  // from the cookie
    bool configured_ = false;
    uint32_t frame_count_ = 0;
    const PairCodeStarts* starts_ = nullptr;  // of the frame being decoded
    std::vector<int32_t> samples_;            // one frame_length run per ALAC position
    std::vector<uint32_t> low_bits_;          // shifted-off bits, two per sample frame
    PendingSingle pending_single_;
    std::vector<uint32_t> pending_low_bits_;  // the waiting single's low bits
    int32_t* by_position_[8] = {};
    const int32_t* by_input_[8] = {};
};

}  // namespace qv
