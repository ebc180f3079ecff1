// What libFLAC calls back during one decode: the write callback checks the
// first frame's format and hands every frame to the PCM consumer; the error
// callback records the statuses libFLAC reports.
#include "input/flac_decode_state.h"

namespace qv {
namespace {

constexpr int write_continue = 0;  // FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE
constexpr int write_abort = 1;     // FLAC__STREAM_DECODER_WRITE_STATUS_ABORT
constexpr int read_continue = 0;   // FLAC__STREAM_DECODER_READ_STATUS_CONTINUE
constexpr int read_end = 1;        // FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
constexpr int read_abort = 2;      // FLAC__STREAM_DECODER_READ_STATUS_ABORT

bool accepted_bit_depth(uint32_t bits) {
    return bits == 16 || bits == 20 || bits == 24 || bits == 32;
}

// Reads the first frame's format into the caller's record (before judging
// it, so that a refused format stays visible there) and checks it.
bool take_first_format(const void* decoder, FlacDecodeState& state) {
    const FlacFunctions& f = *state.functions;
    AudioFormat& format = *state.format;
    format.sample_rate = f.stream_decoder_get_sample_rate(decoder);
    format.bits_per_sample = f.stream_decoder_get_bits_per_sample(decoder);
    format.channels = f.stream_decoder_get_channels(decoder);
    format.total_frames = f.stream_decoder_get_total_samples(decoder);
    if (format.sample_rate == 0 || format.channels == 0 || format.bits_per_sample == 0) {
        state.error = "FLAC stream did not provide a valid audio format after decoding started";
        return false;
    }
    if (format.channels > 8) {
        state.error = "FLAC input has more than 8 channels; ALAC supports at most 8";
        return false;
    }
    if (!accepted_bit_depth(format.bits_per_sample)) {
        state.error = "FLAC input uses " + std::to_string(format.bits_per_sample) +
                      "-bit PCM; RO-ZOZA accepts 16, 20, 24 or 32-bit input without conversion";
        return false;
    }
    state.format_ready = true;
    return true;
}

// FLAC frames each carry their own header, so a stream can switch format
// midway; the encoder behind the consumer cannot follow.
bool same_format(const void* decoder, const FlacDecodeState& state) {
    const FlacFunctions& f = *state.functions;
    const AudioFormat& format = *state.format;
    return f.stream_decoder_get_sample_rate(decoder) == format.sample_rate &&
           f.stream_decoder_get_bits_per_sample(decoder) == format.bits_per_sample &&
           f.stream_decoder_get_channels(decoder) == format.channels;
}

}  // namespace

const char* flac_error_status_text(int32_t status) {
    switch (status) {
        case 0: return "lost sync";
        case 1: return "bad frame header";
        case 2: return "frame CRC mismatch";
        case 3: return "unparseable stream";
        case 4: return "bad metadata";
        case 5: return "out of bounds";
        case 6: return "missing frame";
        default: return "decoder error";
    }
}

int flac_write_callback(const void* decoder, const void*, const int32_t* const buffer[],
                        void* client_data) {
    FlacDecodeState& state = *static_cast<FlacDecodeState*>(client_data);
    // Once the audio is known to be damaged the read fails; nothing after
    // the damage reaches the consumer.
    if (state.audio_error_seen) {
        return write_abort;
    }
    if (!state.format_ready) {
        if (!take_first_format(decoder, state)) {
            return write_abort;
        }
    } else if (!same_format(decoder, state)) {
        state.error = "FLAC stream changed its audio format after the first frame";
        return write_abort;
    }
    const uint32_t frames = state.functions->stream_decoder_get_blocksize(decoder);
    if (frames != 0) {
        state.stream_frames += frames;
        // More audio than declared: a frame repeated or appended. Decoding
        // goes on only to count it for the report; none of it is encoded.
        const uint64_t declared = state.format->total_frames;
        if (declared != 0 && state.stream_frames > declared) {
            return write_continue;
        }
    }
    if (frames == 0 || !state.consumer(state.context, buffer, frames)) {
        state.aborted = true;
        return write_abort;
    }
    state.delivered_frames += frames;
    return write_continue;
}

void flac_error_callback(const void* decoder, int status, void* client_data) {
    FlacDecodeState& state = *static_cast<FlacDecodeState*>(client_data);
    state.error_seen = true;
    state.error_status = status;
    if (state.audio_error_seen) {
        return;
    }
    // Past the last declared sample only trailing bytes remain (a tag glued
    // to the file, say); they cannot damage the audio already delivered.
    const uint64_t total = state.functions->stream_decoder_get_total_samples(decoder);
    if (total == 0 || state.delivered_frames < total) {
        state.audio_error_seen = true;
        state.audio_error_status = status;
    }
}

int flac_read_callback(const void*, uint8_t buffer[], size_t* bytes, void* client_data) {
    FlacDecodeState& state = *static_cast<FlacDecodeState*>(client_data);
    std::size_t count = 0;
    // InputFile::read fails once an interruption is requested, which ends
    // even an input that never ends (/dev/zero named .flac).
    if (*bytes == 0 || !state.input->read(buffer, *bytes, count)) {
        *bytes = 0;
        return read_abort;
    }
    *bytes = count;
    return count == 0 ? read_end : read_continue;
}

}  // namespace qv
