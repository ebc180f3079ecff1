#pragma once
// One conversion from an input reader through the packet encoder into the
// M4A writer, with its status and error lines.
#include <cstdint>
#include <filesystem>
#include <string>

#include "alac/decoder/packet_verifier.h"
#include "alac/packet_encoder.h"
#include "app/cli_options.h"
#include "app/progress_line.h"
#include "input/audio_format.h"
#include "input/flac_library.h"
#include "m4a/m4a_writer.h"
#include "m4a/tag_set.h"

namespace qv {

// The state of one conversion. Members are destroyed in reverse order, so the
// writer (which discards an unfinished output) goes before the encoder.
struct EncodeContext {
    PacketEncoder packet_encoder;
    M4aWriter writer;
    bool initialized = false;  // prepare_encoder has succeeded
    bool fast = false;
    bool overwrite = false;
    bool quiet = false;
    std::filesystem::path output_path;
    AudioFormat format{};  // copy taken when the first block arrives
    TagSet tags;
    std::string error;    // why the pipeline failed; empty while nothing failed
    bool verify = false;  // decode every packet and compare it with its PCM
    PacketVerifier verifier;
    uint64_t frames_done = 0;                // sample frames encoded so far
    ConversionProgress* progress = nullptr;  // shared with a watching thread, if any
    ProgressLine* line = nullptr;            // the terminal's status line, if drawn here
};

// The consumer's context: the conversion and the format the reader fills.
struct PcmConsumerContext {
    EncodeContext* encode = nullptr;
    const AudioFormat* format = nullptr;
};

// Runs the whole conversion and prints its messages; returns 0 or 1.
int run_conversion(const CliOptions& options, const FlacLibrary* library);

// One conversion of many: prints nothing but what `options.quiet` allows of
// the status lines, reports its progress, and leaves the message of a
// failure in `error`. Safe to run on several threads at once.
bool convert_file(const CliOptions& options, const FlacLibrary* library,
                  ConversionProgress& progress, std::string& error);

// The PcmConsumer: prepares the output on the first block, then encodes.
bool consume_pcm_block(void* context, const int32_t* const* channels, uint32_t frames);

// Checks the output name, loads the artwork, opens the writer, starts the
// encoder and prints the status lines.
bool prepare_encoder(EncodeContext& context, const AudioFormat& format);

// Encodes the last packet and finalizes the file.
bool finish_conversion(EncodeContext& context);

}  // namespace qv
