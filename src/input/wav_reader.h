#pragma once
// Reads a RIFF WAVE (PCM or WAVE_FORMAT_EXTENSIBLE integer PCM) or RF64 file
// and pushes its samples to a PCM consumer in blocks of 4096 frames.
#include <filesystem>
#include <string>

#include "input/audio_format.h"

namespace qv {

bool read_wav_input(const std::filesystem::path& input_path, AudioFormat& format,
                    PcmConsumer consumer, void* context, std::string& error);

}  // namespace qv
