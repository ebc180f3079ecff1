// One FLAC file through one libFLAC stream decoder: metadata first (with the
// tag and picture blocks when the caller wants them), then every frame
// pushed to the consumer from inside libFLAC's processing call, and at the
// end the whole stream checked against its declared length and MD5
// signature, which catch frames lost or repeated without any damage libFLAC
// could see in a single frame.
#include "input/flac_reader.h"

#include <cstdio>

#include "input/flac_decode_state.h"
#include "input/flac_metadata.h"
#include "platform/input_file.h"
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

// Asks libFLAC for the tag and picture blocks when the caller wants the
// tags and the library can hand them out; returns the metadata callback to
// register, or null.
FlacMetadataCallback request_tags(const FlacFunctions& f, void* decoder,
                                  const FlacDecodeState& state) {
    if (state.tags == nullptr || f.stream_decoder_set_metadata_respond == nullptr) {
        return nullptr;
    }
    f.stream_decoder_set_metadata_respond(decoder, flac_metadata_vorbis_comment);
    f.stream_decoder_set_metadata_respond(decoder, flac_metadata_picture);
    return flac_metadata_callback;
}

// Starts the decoder on the file: through the program's own reads when the
// library offers init_stream, else through libFLAC's own file reading.
bool init_decoder(const FlacFunctions& f, void* decoder, const std::filesystem::path& input_path,
                  const std::string& file_name, platform::InputFile& input,
                  FlacDecodeState& state) {
    const FlacMetadataCallback metadata_callback = request_tags(f, decoder, state);
    if (f.stream_decoder_init_stream == nullptr) {
        return f.stream_decoder_init_file(decoder, file_name.c_str(), flac_write_callback,
                                          metadata_callback, flac_error_callback,
                                          &state) == init_status_ok;
    }
    if (!input.open(input_path)) {
        return false;
    }
    state.input = &input;
    return f.stream_decoder_init_stream(decoder, flac_read_callback, nullptr, nullptr, nullptr,
                                        nullptr, flac_write_callback, metadata_callback,
                                        flac_error_callback, &state) == init_status_ok;
}

// What the finished decode says of the audio as a whole: the number of
// sample frames against the declared total, then libFLAC's MD5 comparison.
// Either check is skipped when the stream declares nothing to compare with
// (a total or a signature of zero; libFLAC skips the latter itself).
bool check_whole_stream(const FlacDecodeState& state, bool md5_matched, std::string& error) {
    const uint64_t declared = state.format->total_frames;
    if (declared != 0 && state.stream_frames != declared) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "FLAC decode error: the stream holds %llu sample frames, %llu were declared",
                      static_cast<unsigned long long>(state.stream_frames),
                      static_cast<unsigned long long>(declared));
        error = text;
        return false;
    }
    if (!md5_matched) {
        error = "FLAC decode error: decoded audio does not match the stream's MD5 signature";
        return false;
    }
    return true;
}

// Runs an allocated decoder over the file; the caller deletes the decoder.
bool decode_file(const FlacFunctions& f, void* decoder, const std::filesystem::path& input_path,
                 const std::string& file_name, FlacDecodeState& state, std::string& error) {
    const bool md5_checking = f.stream_decoder_set_md5_checking != nullptr &&
                              f.stream_decoder_set_md5_checking(decoder, 1) != 0;
    platform::InputFile input;
    if (!init_decoder(f, decoder, input_path, file_name, input, state)) {
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
    // With MD5 checking on, finish reports whether the decoded audio matched.
    const bool md5_matched = f.stream_decoder_finish(decoder) != 0 || !md5_checking;

    if (!state.error.empty()) {
        error = state.error;
        return false;
    }
    if (state.aborted) {
        error = "FLAC decode was aborted by the PCM consumer";
        return false;
    }
    if (state.audio_error_seen) {
        error =
            std::string("FLAC decode error: ") + flac_error_status_text(state.audio_error_status);
        return false;
    }
    if (processed) {
        return check_whole_stream(state, md5_matched, error);
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
                     AudioFormat& format, PcmConsumer consumer, void* context, std::string& error,
                     InputTags* tags) {
    error.clear();
    if (!flac_library_available(library)) {
        error =
            "FLAC input support is unavailable. Place libFLAC.dll beside ro-zoza.exe to "
            "enable FLAC decoding.";
        return false;
    }
    std::string file_name;
    if (input_path.empty() || !platform::path_to_utf8(input_path, file_name) || file_name.empty()) {
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
    state.tags = tags;
    const bool decoded = decode_file(f, decoder, input_path, file_name, state, error);
    f.stream_decoder_delete(decoder);
    return decoded;
}

}  // namespace qv
