#pragma once
// One encoded ALAC frame handed from the packet encoder to its sink.
#include <cstdint>
#include <functional>
#include <string>

#include "alac/common/pair_code_starts.h"

namespace qv {

// Valid only during the sink call: the bytes are reused for the next packet.
struct AlacPacket {
    const uint8_t* data = nullptr;
    uint32_t byte_count = 0;   // at least 1
    uint32_t frame_count = 0;  // alac::packet_frames, or fewer for the last packet
    PairCodeStarts code_starts{};
};

// Takes a packet; on false it may leave a reason in the error text.
using AlacPacketSink = std::function<bool(const AlacPacket& packet, std::string& error)>;

// Sees a packet before the sink, with the PCM it was made from (`frames`
// samples per channel in the input's order); false, with a reason in the
// error text, stops the encoder. The verifier is wired in through it.
using AlacPacketCheck = std::function<bool(const AlacPacket& packet, const int32_t* const* pcm,
                                           uint32_t frames, std::string& error)>;

}  // namespace qv
