#pragma once
// Cuts planar PCM of any block size into 4096-frame packets, puts the
// channels into ALAC order, encodes each packet into one ALAC frame and hands
// it to the sink; builds the magic cookie at the end.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "alac/alac_encoder.h"
#include "alac/alac_packet.h"
#include "alac/common/alac_format.h"
#include "input/audio_format.h"

namespace qv {

class PacketEncoder {
public:
    static constexpr uint32_t packet_frames = alac::packet_frames;

    bool start(const AudioFormat& format, bool fast, AlacPacketSink sink, std::string& error);
    bool accept_pcm(const int32_t* const* channels, uint32_t frame_count, std::string& error);
    bool finish(std::string& error);
    std::vector<uint8_t> magic_cookie() const;

    // With a check set (the verifier's), every packet passes it before it
    // reaches the sink; a failed check stops the encoder with its reason.
    void set_packet_check(AlacPacketCheck packet_check) { check = std::move(packet_check); }

private:
    bool encode_buffered(uint32_t count, std::string& error);

    AudioFormat format{};
    ALACEncoder encoder;
    AlacPacketSink sink;
    bool initialized = false;
    bool finished = false;
    uint32_t buffered = 0;
    std::vector<std::vector<int32_t>> channel_buffers;
    std::vector<uint8_t> interleaved;
    std::vector<uint8_t> output;
    AlacPacketCheck check;
    std::vector<const int32_t*> channel_table;  // channel_buffers in input order, for the check
};

}  // namespace qv
