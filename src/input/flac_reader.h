#pragma once
// Decodes one FLAC file through the loaded libFLAC and pushes its frames to
// a PCM consumer.
#include <filesystem>
#include <string>

#include "input/audio_format.h"
#include "input/flac_library.h"
#include "input/input_tags.h"

namespace qv {

// With `tags`, the file's Vorbis comments and its cover picture are added
// there too, when the library can hand out metadata blocks.
bool read_flac_input(const FlacLibrary* library, const std::filesystem::path& input_path,
                     AudioFormat& format, PcmConsumer consumer, void* context, std::string& error,
                     InputTags* tags = nullptr);

}  // namespace qv
