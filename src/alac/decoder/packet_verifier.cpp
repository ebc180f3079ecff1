#include "alac/decoder/packet_verifier.h"

#include <cstdio>
#include <cstring>

namespace qv {
namespace {

PacketVerifier::BitFlip test_bit_flip;

}  // namespace

void set_verifier_bit_flip_for_testing(uint64_t packet, uint64_t bit) {
    test_bit_flip = PacketVerifier::BitFlip{true, packet, bit};
}

void clear_verifier_bit_flip_for_testing() { test_bit_flip = PacketVerifier::BitFlip{}; }

bool PacketVerifier::start(const AudioFormat& format, std::string& error) {
    MagicCookie config;
    config.frame_length = AlacDecoder::max_frame_length;
    config.bit_depth = format.bits_per_sample;
    config.channels = format.channels;
    if (!decoder_.configure(config, error)) return false;
    channels_ = format.channels;
    packets_ = 0;
    verified_frames_ = 0;
    failed_ = false;
    mismatch_frame_ = 0;
    decode_status_ = AlacDecodeStatus::ok;
    flip_ = test_bit_flip;
    flipped_.clear();
    if (flip_.armed) flipped_.reserve(alac::max_frame_bytes(channels_, alac::packet_frames));
    started_ = true;
    return true;
}

bool PacketVerifier::verify_packet(const uint8_t* packet, uint32_t byte_count,
                                   const PairCodeStarts& starts, const int32_t* const* pcm,
                                   uint32_t frames) {
    if (!started_ || failed_) return false;
    const uint64_t first = verified_frames_;
    const uint8_t* data = packet;
    if (flip_.armed && flip_.packet == packets_ && byte_count > 0) {
        flipped_.assign(packet, packet + byte_count);
        const uint64_t bit = flip_.bit % (uint64_t(byte_count) * 8);
        flipped_[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
        data = flipped_.data();
    }
    ++packets_;

    decode_status_ = decoder_.decode_frame(data, byte_count, &starts);
    if (decode_status_ != AlacDecodeStatus::ok) {
        failed_ = true;
        mismatch_frame_ = first;
        return false;
    }
    // Frames present on one side only count as differing.
    const uint32_t decoded = decoder_.frame_count();
    const uint32_t common = decoded < frames ? decoded : frames;
    uint32_t differs = decoded == frames ? UINT32_MAX : common;
    for (uint32_t c = 0; c < channels_; ++c) {
        const int32_t* got = decoder_.channel(c);
        const int32_t* want = pcm[c];
        const uint32_t limit = differs < common ? differs : common;
        // A whole-block compare first; the differing frame is looked for
        // only when there is one.
        if (std::memcmp(got, want, size_t(limit) * sizeof(int32_t)) == 0) continue;
        for (uint32_t i = 0; i < limit; ++i) {
            if (got[i] != want[i]) {
                differs = i;
                break;
            }
        }
    }
    if (differs != UINT32_MAX) {
        failed_ = true;
        mismatch_frame_ = first + differs;
        return false;
    }
    verified_frames_ += frames;
    return true;
}

std::string verification_failure_message(uint64_t frame) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "verification failed: decoded audio differs from the input at sample frame %llu",
                  static_cast<unsigned long long>(frame));
    return text;
}

std::string verification_success_line(uint64_t frames) {
    char text[80];
    std::snprintf(text, sizeof text, "Verified: %llu sample frames decoded identically.\n",
                  static_cast<unsigned long long>(frames));
    return text;
}

}  // namespace qv
