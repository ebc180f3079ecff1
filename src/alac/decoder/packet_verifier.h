#pragma once
// Decodes every encoded packet and compares it, sample for sample, with the
// PCM it was made from; remembers the first differing sample frame.
#include <cstdint>
#include <string>
#include <vector>

#include "alac/common/pair_code_starts.h"
#include "alac/decoder/alac_decoder.h"
#include "input/audio_format.h"

namespace qv {

class PacketVerifier {
public:
    // Configures the decoder for the stream the packet encoder writes.
    bool start(const AudioFormat& format, std::string& error);

    // Decodes the `byte_count` bytes of one packet, with the encoder's
    // `starts`; `pcm` holds `frames` samples per channel in the input's
    // channel order. Returns false on the first packet that fails to decode
    // or differs; mismatch_frame() then tells where, counted from the
    // stream's start.
    bool verify_packet(const uint8_t* data, uint32_t byte_count, const PairCodeStarts& starts,
                       const int32_t* const* pcm, uint32_t frames);

    uint64_t verified_frames() const { return verified_frames_; }
    bool failed() const { return failed_; }
    uint64_t mismatch_frame() const { return mismatch_frame_; }
    // The decoder's verdict on the failing packet (ok when it decoded but differed).
    AlacDecodeStatus decode_status() const { return decode_status_; }

    struct BitFlip {
        bool armed = false;
        uint64_t packet = 0;
        uint64_t bit = 0;
    };

private:
    AlacDecoder decoder_;
    uint32_t channels_ = 0;
    uint64_t packets_ = 0;
    uint64_t verified_frames_ = 0;
    bool started_ = false;
    bool failed_ = false;
    uint64_t mismatch_frame_ = 0;
    AlacDecodeStatus decode_status_ = AlacDecodeStatus::ok;
    BitFlip flip_{};                // the test seam's request, taken at start
    std::vector<uint8_t> flipped_;  // copy of a packet corrupted by the test seam
};

// "verification failed: decoded audio differs from the input at sample frame %llu"
std::string verification_failure_message(uint64_t frame);
// "Verified: %llu sample frames decoded identically.\n"
std::string verification_success_line(uint64_t frames);

// Test seam: the verifiers started after this call flip bit `bit` (counted
// from the packet's first byte, most significant bit first, modulo the
// packet's size) of packet number `packet` (from 0) before decoding it.
void set_verifier_bit_flip_for_testing(uint64_t packet, uint64_t bit);
void clear_verifier_bit_flip_for_testing();

}  // namespace qv
