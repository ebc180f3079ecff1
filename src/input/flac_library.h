#pragma once
// libFLAC, loaded at run time from beside the executable (on Linux also from
// the system), with the twelve stream-decoder entry points the reader uses.
#include <filesystem>
#include <memory>
#include <string>

#include "platform/shared_library.h"

namespace qv {

// The twelve entry points, in resolution order. The signatures are those of
// libFLAC's stream decoder API, with the decoder as an opaque pointer.
struct FlacFunctions {
    void* (*stream_decoder_new)() = nullptr;
    void (*stream_decoder_delete)(void* decoder) = nullptr;
    int (*stream_decoder_init_file)(void* decoder, const char* filename, void* write_callback,
                                    void* metadata_callback, void* error_callback,
                                    void* client_data) = nullptr;
    int (*stream_decoder_process_until_end_of_metadata)(void* decoder) = nullptr;
    int (*stream_decoder_process_until_end_of_stream)(void* decoder) = nullptr;
    int (*stream_decoder_finish)(void* decoder) = nullptr;
    unsigned (*stream_decoder_get_channels)(const void* decoder) = nullptr;
    unsigned (*stream_decoder_get_bits_per_sample)(const void* decoder) = nullptr;
    unsigned (*stream_decoder_get_sample_rate)(const void* decoder) = nullptr;
    unsigned (*stream_decoder_get_blocksize)(const void* decoder) = nullptr;
    unsigned long long (*stream_decoder_get_total_samples)(const void* decoder) = nullptr;
    const char* (*stream_decoder_get_resolved_state_string)(const void* decoder) = nullptr;
};

struct FlacLibrary {
    platform::LibraryHandle module = nullptr;  // null when not loaded or released again
    FlacFunctions functions;
    std::filesystem::path dll_path;  // where loading was attempted (the one that decided)
    std::string reason;              // why FLAC is unavailable; empty when it is available
    bool available = false;
};

std::unique_ptr<FlacLibrary> load_flac_library();
bool flac_library_available(const FlacLibrary* library);
void unload_flac_library(std::unique_ptr<FlacLibrary>& library);

}  // namespace qv
