#pragma once
// FLAC files for the reader tests, made with libFLAC's own encoder at any
// bit depth it supports (4 to 32) with frame positions known, and one reader
// run over such a file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "input/flac_library.h"
#include "input/pcm_recorder.h"

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
PcmSignal make_signal(uint32_t channels, uint32_t bits, size_t frames, uint32_t sample_rate = 44100,
                      uint32_t seed = 1);

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

// The installed libFLAC, loaded once for the whole test program.
const FlacLibrary* system_flac();

struct FlacRun {
    bool ok = false;
    std::string error;
    AudioFormat format;
    PcmRecorder recorder;
};

// Writes the bytes into the test's directory and reads them back through
// `library`; the consumer refuses call `refuse_call` (0-based).
FlacRun run_flac_reader(const FlacLibrary* library, const std::vector<uint8_t>& bytes,
                        size_t refuse_call = SIZE_MAX);
FlacRun run_flac_reader_on(const FlacLibrary* library, const std::filesystem::path& path,
                           size_t refuse_call = SIZE_MAX);

// True when the recorder received exactly the signal's samples, channel by channel.
bool same_samples(const PcmRecorder& recorder, const PcmSignal& signal);

}  // namespace qv::test
