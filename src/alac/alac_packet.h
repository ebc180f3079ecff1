#pragma once
// One encoded ALAC frame handed from the packet encoder to its sink.
#include <cstdint>
#include <functional>
#include <string>

namespace qv {

// Where each pair element's V residual codes begin, in bits from the
// packet's first bit, by the pair's instance number; 0 where unknown. A
// decoder can then read U's and V's codes side by side; it checks them.
struct PairCodeStarts {
    uint32_t v_bits[4] = {};
};

// Valid only during the sink call: the bytes are reused for the next packet.
struct AlacPacket {
    const uint8_t* data = nullptr;
    uint32_t byte_count = 0;   // at least 1
    uint32_t frame_count = 0;  // 4096, or 1..4095 for the last packet
    PairCodeStarts code_starts{};
};

// Takes a packet; on false it may leave a reason in the error text.
using AlacPacketSink = std::function<bool(const AlacPacket& packet, std::string& error)>;

}  // namespace qv
