// One FLAC file through one libFLAC stream decoder: metadata first, then
// every frame pushed to the consumer from inside libFLAC's processing call.
#include "input/flac_reader.h"

#include "input/flac_decode_state.h"
#include "platform/path_text.h"

namespace qv {
namespace {

constexpr int init_status_ok = 0;  // FLAC__STREAM_DECODER_INIT_STATUS_OK

std::string with_state_text(const char* message, const char* state_text) {
    std::string text = message;
    if (state_text != nullptr) {
        text += ": ";
        text += state_text;
    }
    return text;
}

// Runs an allocated decoder over the file; the caller deletes the decoder.
bool decode_file(const FlacFunctions& f, void* decoder, const std::string& file_name,
                 FlacDecodeState& state, std::string& error) {
    if (f.stream_decoder_init_file(decoder, file_name.c_str(), flac_write_callback, nullptr,
                                   flac_error_callback, &state) != init_status_ok) {
        error = "libFLAC could not initialize the input file";
        return false;
    }
    if (!f.stream_decoder_process_until_end_of_metadata(decoder)) {
        error = with_state_text("FLAC metadata decode failed",
                                f.stream_decoder_get_resolved_state_string(decoder));
        f.stream_decoder_finish(decoder);
        return false;
    }
    state.format->total_frames = f.stream_decoder_get_total_samples(decoder);
    const bool processed = f.stream_decoder_process_until_end_of_stream(decoder) != 0;
    // The state text belongs to the decoder and is read before finish resets it.
    const char* state_text = f.stream_decoder_get_resolved_state_string(decoder);
    const std::string failure = with_state_text("FLAC decode failed", state_text);
    f.stream_decoder_finish(decoder);

    if (!state.error.empty()) {
        error = state.error;
        return false;
    }
    if (state.aborted) {
        error = "FLAC decode was aborted by the PCM consumer";
        return false;
    }
    if (state.audio_error_seen) {
        error = std::string("FLAC decode error: ") +
                flac_error_status_text(state.audio_error_status);
        return false;
    }
    if (processed) {
        return true;
    }
    if (state.error_seen) {
        error = std::string("FLAC decode error: ") + flac_error_status_text(state.error_status);
        return false;
    }
    error = failure;
    return false;
}

}  // namespace

bool read_flac_input(const FlacLibrary* library, const std::filesystem::path& input_path,
                     AudioFormat& format, PcmConsumer consumer, void* context,
                     std::string& error) {
    error.clear();
    if (!flac_library_available(library)) {
        error = "FLAC input support is unavailable. Place libFLAC.dll beside ro-zoza.exe to "
                "enable FLAC decoding.";
        return false;
    }
    std::string file_name;
    if (input_path.empty() || !platform::path_to_utf8(input_path, file_name) ||
        file_name.empty()) {
        error = "could not convert FLAC input path to UTF-8";
        return false;
    }
    const FlacFunctions& f = library->functions;
    void* decoder = f.stream_decoder_new();
    if (decoder == nullptr) {
        error = "libFLAC could not allocate a decoder";
        return false;
    }
    FlacDecodeState state;
    state.functions = &f;
    state.format = &format;
    state.consumer = consumer;
    state.context = context;
    const bool decoded = decode_file(f, decoder, file_name, state, error);
    f.stream_decoder_delete(decoder);
    return decoded;
}

}  // namespace qv
