#pragma once
// The record one FLAC decode hands to libFLAC as client data, and the two
// callbacks libFLAC calls with it.
#include <cstdint>
#include <string>

#include "input/audio_format.h"
#include "input/flac_library.h"
#include "input/input_tags.h"
#include "platform/input_file.h"

namespace qv {

struct FlacDecodeState {
    const FlacFunctions* functions = nullptr;
    AudioFormat* format = nullptr;
    PcmConsumer consumer = nullptr;
    void* context = nullptr;
    bool aborted = false;       // the consumer refused a block, or a frame had no samples
    bool format_ready = false;  // the first frame's format was read and accepted
    std::string error;          // why the write callback stopped decoding
    int32_t error_status = 0;   // the latest error status libFLAC reported
    bool error_seen = false;
    // The first error status met while declared audio was still missing (or
    // at any time when no total is declared): the audio is damaged.
    int32_t audio_error_status = 0;
    bool audio_error_seen = false;
    uint64_t delivered_frames = 0;  // sample frames the consumer has accepted
    // Sample frames in the frames libFLAC decoded, delivered or not: audio
    // past the declared total is counted here but never encoded.
    uint64_t stream_frames = 0;
    platform::InputFile* input = nullptr;  // the file, when the program reads it itself
    InputTags* tags = nullptr;             // where the file's tags go; null: not wanted
};

// Text for a libFLAC error status; "decoder error" for values it does not name.
const char* flac_error_status_text(int32_t status);

int flac_write_callback(const void* decoder, const void* frame, const int32_t* const buffer[],
                        void* client_data);
void flac_error_callback(const void* decoder, int status, void* client_data);
int flac_read_callback(const void* decoder, uint8_t buffer[], size_t* bytes, void* client_data);

}  // namespace qv
