// Finding and loading libFLAC, and resolving the stream-decoder entry points.
#include "input/flac_library.h"

#include <system_error>

#include "platform/executable_path.h"
#include "platform/library_path.h"
#include "platform/path_text.h"

namespace qv {
namespace {

#ifdef _WIN32
constexpr const char* library_file_name = "libFLAC.dll";
#else
constexpr const char* library_file_name = "libFLAC.so";
// Installed libFLAC by soname, newest ABI first; found through the dynamic
// linker's normal search.
constexpr const char* system_sonames[] = {"libFLAC.so.14", "libFLAC.so.12", "libFLAC.so.8"};
#endif

std::string path_text(const std::filesystem::path& path) {
    std::string text;
    if (!platform::path_to_utf8(path, text)) {
        text.clear();
    }
    return text;
}

// Stores the export's address in `slot`, or notes it as missing; later
// lookups still run, so the last missing name is the one reported.
template <typename Function>
void resolve(platform::LibraryHandle module, const char* name, Function& slot, bool& complete,
             std::string& reason) {
    void* symbol = platform::find_symbol(module, name);
    if (symbol == nullptr) {
        complete = false;
        reason = std::string("libFLAC.dll is missing required export: ") + name;
        return;
    }
    slot = reinterpret_cast<Function>(symbol);
}

// Optional exports stay null when the library lacks them.
template <typename Function>
void resolve_optional(platform::LibraryHandle module, const char* name, Function& slot) {
    slot = reinterpret_cast<Function>(platform::find_symbol(module, name));
}

bool resolve_all(platform::LibraryHandle module, FlacFunctions& f, std::string& reason) {
    bool complete = true;
    resolve(module, "FLAC__stream_decoder_new", f.stream_decoder_new, complete, reason);
    resolve(module, "FLAC__stream_decoder_delete", f.stream_decoder_delete, complete, reason);
    resolve(module, "FLAC__stream_decoder_init_file", f.stream_decoder_init_file, complete, reason);
    resolve(module, "FLAC__stream_decoder_process_until_end_of_metadata",
            f.stream_decoder_process_until_end_of_metadata, complete, reason);
    resolve(module, "FLAC__stream_decoder_process_until_end_of_stream",
            f.stream_decoder_process_until_end_of_stream, complete, reason);
    resolve(module, "FLAC__stream_decoder_finish", f.stream_decoder_finish, complete, reason);
    resolve(module, "FLAC__stream_decoder_get_channels", f.stream_decoder_get_channels, complete,
            reason);
    resolve(module, "FLAC__stream_decoder_get_bits_per_sample",
            f.stream_decoder_get_bits_per_sample, complete, reason);
    resolve(module, "FLAC__stream_decoder_get_sample_rate", f.stream_decoder_get_sample_rate,
            complete, reason);
    resolve(module, "FLAC__stream_decoder_get_blocksize", f.stream_decoder_get_blocksize, complete,
            reason);
    resolve(module, "FLAC__stream_decoder_get_total_samples", f.stream_decoder_get_total_samples,
            complete, reason);
    resolve(module, "FLAC__stream_decoder_get_resolved_state_string",
            f.stream_decoder_get_resolved_state_string, complete, reason);
    resolve_optional(module, "FLAC__stream_decoder_init_stream", f.stream_decoder_init_stream);
    resolve_optional(module, "FLAC__stream_decoder_set_md5_checking",
                     f.stream_decoder_set_md5_checking);
    resolve_optional(module, "FLAC__stream_decoder_set_metadata_respond",
                     f.stream_decoder_set_metadata_respond);
    return complete;
}

}  // namespace

std::vector<std::filesystem::path> flac_library_candidates() {
    std::vector<std::filesystem::path> candidates;
    std::filesystem::path folder = platform::executable_path().parent_path();
    if (folder.empty()) {
        std::error_code error;
        folder = std::filesystem::current_path(error);
        if (error) {
            folder.clear();
        }
    }
    if (!folder.empty()) {
        candidates.push_back(folder / library_file_name);
    }
#ifndef _WIN32
    for (const char* soname : system_sonames) {
        candidates.emplace_back(soname);
    }
#endif
    return candidates;
}

std::unique_ptr<FlacLibrary> load_flac_library_from(
    const std::vector<std::filesystem::path>& candidates) {
    auto library = std::make_unique<FlacLibrary>();
    if (candidates.empty()) {
        library->reason = "libFLAC.dll not available: the program's folder is unknown";
        return library;
    }
    std::string first_failure;
    for (const std::filesystem::path& candidate : candidates) {
        std::string failure;
        platform::LibraryHandle module = platform::load_library(candidate, failure);
        if (module == nullptr) {
            if (&candidate == &candidates.front()) {
                first_failure = failure;
            }
            continue;
        }
        library->module = module;
        library->dll_path = candidate;
        // A library found by soname is reported by the file it came from.
        if (candidate.is_relative()) {
            std::filesystem::path real = platform::library_path(module);
            if (!real.empty()) {
                library->dll_path = real;
            }
        }
        if (resolve_all(module, library->functions, library->reason)) {
            library->available = true;
        } else {
            platform::unload_library(module);
            library->module = nullptr;
            library->functions = FlacFunctions{};
        }
        return library;
    }
    library->dll_path = candidates.front();
    library->reason = "libFLAC.dll not available at " + path_text(library->dll_path);
    if (!first_failure.empty()) {
        library->reason += " (" + first_failure + ")";
    }
    return library;
}

std::unique_ptr<FlacLibrary> load_flac_library() {
    return load_flac_library_from(flac_library_candidates());
}

bool flac_library_available(const FlacLibrary* library) {
    return library != nullptr && library->available;
}

void unload_flac_library(std::unique_ptr<FlacLibrary>& library) {
    if (library && library->module != nullptr) {
        platform::unload_library(library->module);
        library->module = nullptr;
    }
    library.reset();
}

}  // namespace qv
