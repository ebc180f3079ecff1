// The conversion driver. Nothing touches the output until the first block of
// audio arrives, so an unreadable input is reported before any output check.
#include "app/conversion.h"

#include <cstdio>
#include <system_error>
#include <utility>
#include <vector>

#include "alac/encoder_profile.h"
#include "app/artwork_file.h"
#include "app/extension.h"
#include "app/help_text.h"
#include "app/tag_merge.h"
#include "input/flac_reader.h"
#include "input/wav_reader.h"
#include "platform/file_status.h"
#include "platform/interrupt.h"
#include "platform/path_text.h"

namespace qv {

namespace {

constexpr const char* interrupted_message = "interrupted";

// False with a message when the output may not be (or cannot be known not
// to be) written.
bool check_existing_output(const EncodeContext& context, std::string& error) {
    int system_error = 0;
    switch (platform::query_file_status(context.output_path, system_error)) {
        case platform::FileStatus::missing: return true;
        case platform::FileStatus::directory:
            // Refused whatever --overwrite says: no file can take a folder's place.
            error = "output is a directory";
            return false;
        case platform::FileStatus::exists:
            if (context.overwrite) {
                return true;
            }
            error = "output file already exists (use --overwrite)";
            return false;
        case platform::FileStatus::error: break;
    }
    std::string shown;
    if (!platform::path_to_narrow(context.output_path, shown)) {
        shown = "(name not representable)";
    }
    error = "could not check the output file: " + shown + ": " +
            std::system_category().message(system_error);
    return false;
}

void print_status_lines(const EncodeContext& context) {
    print_banner();
    std::printf("\nInput:  %u Hz, %u-bit, %u ch\n", context.format.sample_rate,
                context.format.bits_per_sample, context.format.channels);
    std::printf("Output: ALAC in M4A, 4096-frame packets%s\n", context.fast ? " (fast mode)" : "");
    std::printf("Encoding...\n");
    // A front end watching a pipe should see the progress now, not at exit.
    std::fflush(stdout);
}

void print_error(const std::string& message) {
    std::fprintf(stderr, "Error: %s\n", message.c_str());
}

// Counts the block for whoever watches the conversion and, for a single
// file on a terminal, redraws the status line when it is due.
void report_progress(EncodeContext& context, uint32_t frames) {
    context.frames_done += frames;
    if (context.progress != nullptr) {
        context.progress->frames.store(context.frames_done, std::memory_order_relaxed);
    }
    if (context.line != nullptr && context.line->due()) {
        ProgressFigures figures;
        if (context.format.total_frames != 0) {
            figures.fraction_known = true;
            figures.fraction = static_cast<double>(context.frames_done) /
                               static_cast<double>(context.format.total_frames);
        }
        figures.audio_seconds =
            static_cast<double>(context.frames_done) / context.format.sample_rate;
        context.line->draw(progress_text(figures, context.line->elapsed()));
    }
}

// Gives the writer the input's tags and cover under the options' own; the
// item list is written only at finalize, so tags found after the audio
// still count.
void apply_input_tags(EncodeContext& context, const CliOptions& options, const InputTags& input) {
    MergedTags merged = merge_tags(options, input);
    if (!options.quiet) {
        for (const std::string& name : merged.unusable) {
            std::fprintf(stderr, "Warning: tag %s has an unusable value and was not copied\n",
                         name.c_str());
        }
    }
    context.tags = merged.tags;
    context.writer.set_tags(merged.tags);
    if (!merged.picture.empty()) {
        context.writer.set_artwork(std::move(merged.picture), merged.picture_type);
    }
}

}  // namespace

bool prepare_encoder(EncodeContext& context, const AudioFormat& format) {
    context.format = format;
    context.error.clear();
    context.writer.reset(context.output_path, context.format, context.tags);

    if (!check_existing_output(context, context.error)) {
        return false;
    }

    if (!context.tags.artwork_path.empty()) {
        std::vector<uint8_t> artwork;
        uint32_t type_code = 0;
        if (!load_artwork(context.tags.artwork_path, artwork, type_code, context.error)) {
            return false;
        }
        context.writer.set_artwork(std::move(artwork), type_code);
    }

    if (!context.writer.open(context.overwrite, context.error)) {
        return false;
    }

    EncodeContext* owner = &context;
    AlacPacketSink sink = [owner](const AlacPacket& packet, std::string& error) {
        return owner->writer.append_packet(packet, error);
    };
    if (!context.packet_encoder.start(context.format, context.fast, std::move(sink),
                                      context.error)) {
        return false;
    }
    if (context.verify) {
        if (!context.verifier.start(context.format, context.error)) {
            return false;
        }
        PacketVerifier& verifier = context.verifier;
        context.packet_encoder.set_packet_check([&verifier](const AlacPacket& packet,
                                                            const int32_t* const* pcm,
                                                            uint32_t frames, std::string& error) {
            if (verifier.verify_packet(packet.data, packet.byte_count, packet.code_starts, pcm,
                                       frames))
                return true;
            error = verification_failure_message(verifier.mismatch_frame());
            return false;
        });
    }
    context.initialized = true;
    if (context.progress != nullptr) {
        context.progress->total_frames.store(context.format.total_frames);
        context.progress->sample_rate.store(context.format.sample_rate);
    }

    if (!context.quiet) {
        print_status_lines(context);
    }
    return true;
}

bool consume_pcm_block(void* context, const int32_t* const* channels, uint32_t frames) {
    auto* consumer = static_cast<PcmConsumerContext*>(context);
    EncodeContext& encode = *consumer->encode;
    if (platform::interrupt_requested()) {
        encode.error = interrupted_message;
        return false;
    }
    if (!encode.initialized && !prepare_encoder(encode, *consumer->format)) {
        return false;
    }
    if (!encode.packet_encoder.accept_pcm(channels, frames, encode.error)) {
        return false;
    }
    report_progress(encode, frames);
    return true;
}

bool finish_conversion(EncodeContext& context) {
    if (!context.packet_encoder.finish(context.error)) {
        return false;
    }
    const std::vector<uint8_t> cookie = context.packet_encoder.magic_cookie();
    return context.writer.finalize(cookie, context.error);
}

namespace {

constexpr const char* flac_unavailable_message =
    "FLAC input support is unavailable. Place libFLAC.dll beside ro-zoza.exe.";

// What one conversion came to.
struct Outcome {
    bool ok = false;
    std::string error;
    uint64_t verified_frames = 0;
};

// Runs one conversion from reader to finished file. The status lines are
// printed (by prepare_encoder) unless `options.quiet`; everything else is
// left to the caller. A warning about a partial last frame is printed at
// once, unless quiet.
Outcome convert(const CliOptions& options, const FlacLibrary* library, ConversionProgress* progress,
                ProgressLine* line) {
    Outcome outcome;
    const bool flac_input =
        !options.standard_input && lowercase_extension(options.input_path) == ".flac";
    if (flac_input && !flac_library_available(library)) {
        outcome.error = flac_unavailable_message;
        return outcome;
    }

    EncodeContext context;
    context.fast = options.fast;
    context.overwrite = options.overwrite;
    context.quiet = options.quiet;
    context.output_path = options.output_path;
    context.tags = options.tags;
    context.verify = options.verify;
    context.progress = progress;
    context.line = line;
    AudioFormat format;
    PcmConsumerContext consumer{&context, &format};
    std::string reader_error;
    uint32_t ignored_bytes = 0;
    InputTags input_tags;
    InputTags* wanted_tags = options.no_input_tags ? nullptr : &input_tags;
    WavReadOptions wav_options;
    wav_options.standard_input = options.standard_input;
    wav_options.ignore_length = options.ignore_length;
    wav_options.tags = wanted_tags;

    const bool read_ok =
        flac_input ? read_flac_input(library, options.input_path, format, consume_pcm_block,
                                     &consumer, reader_error, wanted_tags)
                   : read_wav_input(options.input_path, wav_options, format, consume_pcm_block,
                                    &consumer, reader_error, ignored_bytes);
    if (!read_ok) {
        // An interruption ends a wait or a read anywhere in the reader with
        // a failure of its own; the user asked for the stop and is told so.
        outcome.error = platform::interrupt_requested()
                            ? interrupted_message
                            : (context.error.empty() ? reader_error : context.error);
        return outcome;
    }
    if (ignored_bytes != 0 && !options.quiet) {
        if (line != nullptr) {
            line->erase();
        }
        std::fprintf(stderr, "Warning: ignored %u bytes after the last whole sample frame\n",
                     ignored_bytes);
    }
    // A request that came in after the last block still stops the run before
    // the file takes its final name.
    if (platform::interrupt_requested()) {
        outcome.error = interrupted_message;
        return outcome;
    }
    if (context.initialized) {
        if (line != nullptr) {
            line->erase();  // warnings about tags may follow
        }
        apply_input_tags(context, options, input_tags);
    }
    if (!finish_conversion(context)) {
        outcome.error = context.error;
        return outcome;
    }
    outcome.ok = true;
    outcome.verified_frames = context.verifier.verified_frames();
    return outcome;
}

}  // namespace

int run_conversion(const CliOptions& options, const FlacLibrary* library) {
    reset_encoder_profile();
    set_profiling_enabled(options.profile);
    ProgressLine line(!options.quiet);
    const Outcome outcome = convert(options, library, nullptr, &line);
    line.erase();
    if (!outcome.ok) {
        print_error(outcome.error);
        return 1;
    }
    if (!options.quiet) {
        std::printf("Conversion complete.\n");
        if (options.verify) {
            std::fputs(verification_success_line(outcome.verified_frames).c_str(), stdout);
        }
    }
    if (options.profile) {
        print_encoder_profile();
    }
    return 0;
}

bool convert_file(const CliOptions& options, const FlacLibrary* library,
                  ConversionProgress& progress, std::string& error) {
    const Outcome outcome = convert(options, library, &progress, nullptr);
    error = outcome.error;
    return outcome.ok;
}

}  // namespace qv
