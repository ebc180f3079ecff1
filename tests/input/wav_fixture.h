#pragma once
// Builds WAV and RF64 files byte by byte for the reader tests, with every
// header field under the test's control.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "input/pcm_recorder.h"

namespace qv::test {

using Bytes = std::vector<uint8_t>;

void put_u16(Bytes& out, uint16_t value);
void put_u32(Bytes& out, uint32_t value);
void put_u64(Bytes& out, uint64_t value);
void put_id(Bytes& out, const std::string& id);  // the first four characters

// Fields of a fmt chunk in file order. The chunk body is the 40-byte
// extensible layout cut or zero-extended to `size` bytes.
struct FmtFields {
    uint16_t format_tag = 1;
    uint16_t channels = 2;
    uint32_t sample_rate = 44100;
    uint32_t byte_rate = 44100 * 4;
    uint16_t block_align = 4;
    uint16_t bits_per_sample = 16;
    uint16_t extension_size = 22;
    uint16_t valid_bits = 16;
    uint32_t channel_mask = 3;
    uint32_t sub_format = 1;  // first four bytes of the sub-format GUID
    uint32_t size = 16;
};

// A consistent plain PCM (size 16) or extensible (size 40) description.
FmtFields pcm_fmt(uint16_t channels, uint16_t bits, uint32_t sample_rate = 44100);
FmtFields extensible_fmt(uint16_t channels, uint16_t container_bits, uint16_t valid_bits,
                         uint32_t sample_rate = 48000);

Bytes fmt_body(const FmtFields& fields);

// A ds64 body: the three sizes and the table length, cut or zero-extended to
// `size` bytes.
Bytes ds64_body(uint64_t riff_size, uint64_t data_size, uint64_t sample_count, uint32_t size = 28);

// Interleaved samples, each moved up by (container - valid) bits and stored
// little-endian in container_bits / 8 bytes; the padding bits below the
// valid ones are filled with `padding`.
Bytes pcm_bytes(const std::vector<int32_t>& interleaved, unsigned container_bits,
                unsigned valid_bits, uint32_t padding = 0);

// A file: the 12-byte header followed by whatever the test appends.
class WavFile {
public:
    explicit WavFile(const std::string& form = "RIFF", const std::string& type = "WAVE");

    // A chunk whose size field is the body's length, with the pad byte after
    // an odd body.
    WavFile& chunk(const std::string& id, const Bytes& body);
    // A chunk header with any size, then exactly `body` (no pad byte).
    WavFile& chunk(const std::string& id, uint32_t declared_size, const Bytes& body);
    WavFile& raw(const Bytes& bytes);
    // The form size field; by default the length after it (RF64: 0xFFFFFFFF).
    WavFile& form_size(uint32_t size);

    Bytes bytes() const;
    void write(const std::filesystem::path& path) const;

private:
    Bytes bytes_;
    bool form_size_set_ = false;
};

// fmt chunk followed by a data chunk holding `data`.
WavFile simple_wav(const FmtFields& fmt, const Bytes& data);

void write_file(const std::filesystem::path& path, const Bytes& bytes);

// The format a run starts from, to show that failed header checks leave it alone.
inline constexpr AudioFormat kUntouchedFormat{7, 7, 7, 7};

// One reader run over a file: its result, message, format and blocks.
struct WavRun {
    bool ok = false;
    std::string error;
    AudioFormat format = kUntouchedFormat;
    PcmRecorder recorder;
};

// Writes the file into the test's directory and reads it; the consumer
// refuses call `refuse_call`.
WavRun run_wav_reader(const Bytes& file, size_t refuse_call = SIZE_MAX);
WavRun run_wav_reader(const WavFile& file, size_t refuse_call = SIZE_MAX);
WavRun run_wav_reader_on(const std::filesystem::path& path, size_t refuse_call = SIZE_MAX);

// A run that failed with `message` before any sample: no consumer call and
// the format as it was.
void expect_header_failure(const WavRun& run, const std::string& message);

// A fresh, empty directory for the running test.
std::filesystem::path test_directory();

}  // namespace qv::test
