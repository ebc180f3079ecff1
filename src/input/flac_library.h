#pragma once
// libFLAC, loaded at run time from beside the executable (on Linux also from
// the system), with the twelve stream-decoder entry points the reader needs
// and the optional ones it uses when the library has them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/shared_library.h"

namespace qv {

// libFLAC's decoder callbacks with the decoder, frame and metadata records
// opaque. Its enums are C ints: the write callback returns 0 (continue) or
// 1 (abort), the error callback receives the error status.
using FlacWriteCallback = int (*)(const void* decoder, const void* frame,
                                  const int32_t* const buffer[], void* client_data);
using FlacMetadataCallback = void (*)(const void* decoder, const void* metadata, void* client_data);
using FlacErrorCallback = void (*)(const void* decoder, int status, void* client_data);
// Returns 0 (continue), 1 (end of stream) or 2 (abort).
using FlacReadCallback = int (*)(const void* decoder, uint8_t buffer[], size_t* bytes,
                                 void* client_data);

// The twelve entry points, in resolution order. The signatures are those of
// libFLAC's stream decoder API, with the decoder as an opaque pointer and
// FLAC__bool as int.
struct FlacFunctions {
    void* (*stream_decoder_new)() = nullptr;
    void (*stream_decoder_delete)(void* decoder) = nullptr;
    int (*stream_decoder_init_file)(void* decoder, const char* filename,
                                    FlacWriteCallback write_callback,
                                    FlacMetadataCallback metadata_callback,
                                    FlacErrorCallback error_callback, void* client_data) = nullptr;
    int (*stream_decoder_process_until_end_of_metadata)(void* decoder) = nullptr;
    int (*stream_decoder_process_until_end_of_stream)(void* decoder) = nullptr;
    int (*stream_decoder_finish)(void* decoder) = nullptr;
    unsigned (*stream_decoder_get_channels)(const void* decoder) = nullptr;
    unsigned (*stream_decoder_get_bits_per_sample)(const void* decoder) = nullptr;
    unsigned (*stream_decoder_get_sample_rate)(const void* decoder) = nullptr;
    unsigned (*stream_decoder_get_blocksize)(const void* decoder) = nullptr;
    uint64_t (*stream_decoder_get_total_samples)(const void* decoder) = nullptr;
    const char* (*stream_decoder_get_resolved_state_string)(const void* decoder) = nullptr;

    // Optional entry points: a library without them still decodes. With
    // init_stream the program reads the file itself, so that an interruption
    // ends even an endless input; with set_md5_checking libFLAC compares the
    // decoded audio with the stream's MD5 signature; with set_metadata_respond
    // the reader asks for the Vorbis comment and picture blocks.
    int (*stream_decoder_init_stream)(void* decoder, FlacReadCallback read_callback,
                                      void* seek_callback, void* tell_callback,
                                      void* length_callback, void* eof_callback,
                                      FlacWriteCallback write_callback,
                                      FlacMetadataCallback metadata_callback,
                                      FlacErrorCallback error_callback,
                                      void* client_data) = nullptr;
    int (*stream_decoder_set_md5_checking)(void* decoder, int value) = nullptr;
    int (*stream_decoder_set_metadata_respond)(void* decoder, int type) = nullptr;
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

// The places load_flac_library tries, in order: the library beside the
// executable (or in the working folder when the executable's folder is
// unknown), then on Linux the installed sonames, newest first.
std::vector<std::filesystem::path> flac_library_candidates();

// Tries the candidates in order; the first one that loads decides. When none
// loads, the record names the first candidate.
std::unique_ptr<FlacLibrary> load_flac_library_from(
    const std::vector<std::filesystem::path>& candidates);

}  // namespace qv
