#pragma once
// Reads a RIFF WAVE (PCM or WAVE_FORMAT_EXTENSIBLE integer PCM) or RF64 file
// and pushes its samples to a PCM consumer in blocks of 4096 frames.
#include <cstdint>
#include <filesystem>
#include <string>

#include "input/audio_format.h"
#include "input/input_tags.h"

namespace qv {

struct WavReadOptions {
    // Read standard input instead of the named file.
    bool standard_input = false;
    // The data chunk runs to the end of the input, whatever its size says.
    // Without it, only a pipe or FIFO whose data size is 0 or 0xFFFFFFFF is
    // read to its end (its writer could not know the length).
    bool ignore_length = false;
    // Where the tags of an INFO list go, before or after the audio; null:
    // not wanted. Reading them never changes which files are accepted.
    InputTags* tags = nullptr;
};

bool read_wav_input(const std::filesystem::path& input_path, AudioFormat& format,
                    PcmConsumer consumer, void* context, std::string& error);

// With options. When the audio runs to the end of the input and that end
// falls inside a sample frame, the whole frames are delivered and the
// number of bytes left over is put in `ignored_bytes`.
bool read_wav_input(const std::filesystem::path& input_path, const WavReadOptions& options,
                    AudioFormat& format, PcmConsumer consumer, void* context, std::string& error,
                    uint32_t& ignored_bytes);

}  // namespace qv
