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
    case platform::FileStatus::missing:
        return true;
    case platform::FileStatus::exists:
        if (context.overwrite) {
            return true;
        }
        error = "output file already exists (use --overwrite)";
        return false;
    case platform::FileStatus::error:
        break;
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
    return encode.packet_encoder.accept_pcm(channels, frames, encode.error);
}

bool finish_conversion(EncodeContext& context) {
    if (!context.packet_encoder.finish(context.error)) {
        return false;
    }
    const std::vector<uint8_t> cookie = context.packet_encoder.magic_cookie();
    return context.writer.finalize(cookie, context.error);
}

int run_conversion(const CliOptions& options, const FlacLibrary* library) {
    platform::install_interrupt_handlers();
    reset_encoder_profile();
    set_profiling_enabled(options.profile);

    const bool flac_input = lowercase_extension(options.input_path) == ".flac";
    if (flac_input && !flac_library_available(library)) {
        std::fprintf(stderr,
                     "Error: FLAC input support is unavailable. Place libFLAC.dll beside "
                     "ro-zoza.exe.\n");
        return 1;
    }

    EncodeContext context;
    context.fast = options.fast;
    context.overwrite = options.overwrite;
    context.quiet = options.quiet;
    context.output_path = options.output_path;
    context.tags = options.tags;
    context.verify = options.verify;
    AudioFormat format;
    PcmConsumerContext consumer{&context, &format};
    std::string reader_error;

    const bool read_ok =
        flac_input ? read_flac_input(library, options.input_path, format, consume_pcm_block,
                                     &consumer, reader_error)
                   : read_wav_input(options.input_path, format, consume_pcm_block, &consumer,
                                    reader_error);
    if (!read_ok) {
        print_error(context.error.empty() ? reader_error : context.error);
        return 1;
    }
    // A request that came in after the last block still stops the run before
    // the file takes its final name.
    if (platform::interrupt_requested()) {
        print_error(interrupted_message);
        return 1;
    }
    if (!finish_conversion(context)) {
        print_error(context.error);
        return 1;
    }
    if (!options.quiet) {
        std::printf("Conversion complete.\n");
        if (context.verify) {
            std::fputs(verification_success_line(context.verifier.verified_frames()).c_str(),
                       stdout);
        }
    }
    if (options.profile) {
        print_encoder_profile();
    }
    return 0;
}

}  // namespace qv
