#pragma once
// Makes FLAC files for reader tests with libFLAC's own encoder, at any bit
// depth it supports (4 to 32), with frame positions known.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace qv::test {

// Planar PCM: one vector per channel, right-justified in `bits`.
struct PcmSignal {
    uint32_t channels = 0;
    uint32_t bits = 0;
    uint32_t sample_rate = 44100;
    std::vector<std::vector<int32_t>> planes;
    size_t frames() const { return planes.empty() ? 0 : planes[0].size(); }
};

// A deterministic signal that reaches both ends of the range in every
// channel and differs between channels.
PcmSignal make_signal(uint32_t channels, uint32_t bits, size_t frames,
                      uint32_t sample_rate = 44100, uint32_t seed = 1);

struct FlacEncodeOptions {
    uint32_t blocksize = 4096;
    bool declare_total = true;  // false: STREAMINFO says the total is unknown
};

struct EncodedFlac {
    std::vector<uint8_t> bytes;
    std::vector<size_t> frame_offsets;  // where each audio frame starts
    size_t audio_offset() const { return frame_offsets.empty() ? bytes.size() : frame_offsets[0]; }
};

EncodedFlac encode_flac(const PcmSignal& signal, const FlacEncodeOptions& options = {});

void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace qv::test
