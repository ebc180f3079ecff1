#pragma once
// Encodes one packet of interleaved little-endian PCM (up to 4096 frames,
// 1 to 8 channels, 16/20/24/32 bits) into one ALAC frame, with the matrixing
// and predictor-order searches and the uncompressed fallback.
#include <cstdint>

#include "alac/alac_packet.h"
#include "alac/common/alac_format.h"
#include "alac/common/bit_writer.h"
#include "alac/predictor.h"
#include "common/byte_order.h"

namespace qv {

// Stream description handed to the encoder, for PCM input and ALAC output.
struct StreamFormat {
    double sample_rate = 0;
    uint32_t format_id = 0;     // 'lpcm' or 'alac'
    uint32_t format_flags = 0;  // PCM: 12; ALAC: 1..4 for 16/20/24/32 bits
    uint32_t bytes_per_packet = 0;
    uint32_t frames_per_packet = 0;
    uint32_t bytes_per_frame = 0;
    uint32_t channels_per_frame = 0;
    uint32_t bits_per_channel = 0;
    uint32_t reserved = 0;
};

inline constexpr int32_t alac_param_error = -50;
inline constexpr int32_t alac_memory_error = -108;

class ALACEncoder {
public:
    ALACEncoder();
    virtual ~ALACEncoder();
    ALACEncoder(const ALACEncoder&) = delete;
    ALACEncoder& operator=(const ALACEncoder&) = delete;

    // `out` needs room for max_output_bytes plus 4 bytes of slack.
    virtual int32_t encode_frame(const StreamFormat& input, const StreamFormat& output,
                                 const uint8_t* pcm, uint8_t* out, int32_t* io_bytes);
    virtual int32_t finish();
    virtual int32_t initialize(const StreamFormat& output);
    virtual void set_source_format(const StreamFormat& source, const StreamFormat& output);

    int16_t bit_depth = 0;
    bool fast_mode = false;
    uint32_t max_frame_bytes = 0;
    uint32_t frame_size = alac::packet_frames;
    uint32_t max_output_bytes = 0;
    uint32_t num_channels = 0;
    uint32_t sample_rate = 0;

    // Where the last frame's pair elements start their V codes.
    const PairCodeStarts& code_starts() const { return code_starts_; }

    // One signal of an element's final predictor and coder pass.
    struct FinalSignal {
        PredictorInput input;
        uint32_t bits;  // receives the size of its residual codes
    };

private:
    int32_t encode_pair(BitWriter& writer, const uint8_t* pcm, uint32_t stride, uint32_t channel,
                        uint32_t frames);
    int32_t encode_pair_fast(BitWriter& writer, const uint8_t* pcm, uint32_t frames);
    int32_t encode_pair_verbatim(BitWriter& writer, const uint8_t* pcm, uint32_t stride,
                                 uint32_t frames);
    int32_t encode_single(BitWriter& writer, const uint8_t* pcm, uint32_t stride, uint32_t channel,
                          uint32_t frames);

    void release_buffers();
    int32_t code_final_pass(BitWriter& writer, const BitWriter& start, FinalSignal* signals,
                            uint32_t signal_count, uint32_t frames, uint32_t chan_bits,
                            uint32_t escape_bits, uint32_t& measured);

    int32_t* mix_u = nullptr;
    int32_t* mix_v = nullptr;
    int32_t* residual_u = nullptr;
    int32_t* residual_v = nullptr;
    uint16_t* shift_buf = nullptr;
    uint8_t* work_buf = nullptr;
    PredictorCoefs coefs_u{};
    PredictorCoefs coefs_v{};
    PairCodeStarts code_starts_{};
    uint32_t pair_instance_ = 0;  // of the pair element being coded
};

}  // namespace qv
