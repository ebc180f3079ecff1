#pragma once
// One encoded ALAC frame handed from the packet encoder to its sink.
#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// Valid only during the sink call: the bytes are reused for the next packet.
struct AlacPacket {
    const uint8_t* data = nullptr;
    uint32_t byte_count = 0;   // at least 1
    uint32_t frame_count = 0;  // 4096, or 1..4095 for the last packet
};

// Takes a packet; on false it may leave a reason in the error text.
using AlacPacketSink = std::function<bool(const AlacPacket& packet, std::string& error)>;

}  // namespace qv
