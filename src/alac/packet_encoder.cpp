#include "alac/packet_encoder.h"

#include <algorithm>
#include <utility>

#include "alac/common/golomb_params.h"
#include "alac/common/magic_cookie.h"
#include "alac/encoder_profile.h"
#include "alac/pcm_interleave.h"

namespace qv {

namespace {

StreamFormat alac_output_format(const AudioFormat& format) {
    StreamFormat out;
    out.sample_rate = static_cast<double>(format.sample_rate);
    out.format_id = fourcc("alac");
    out.format_flags = format.bits_per_sample == 16   ? 1
                       : format.bits_per_sample == 20 ? 2
                       : format.bits_per_sample == 24 ? 3
                                                      : 4;
    out.bytes_per_packet = 0;
    out.frames_per_packet = PacketEncoder::packet_frames;
    out.bytes_per_frame = 0;
    out.channels_per_frame = format.channels;
    out.bits_per_channel = format.bits_per_sample;
    out.reserved = 0;
    return out;
}

StreamFormat pcm_input_format(const AudioFormat& format, uint32_t frame_bytes) {
    StreamFormat in;
    in.sample_rate = static_cast<double>(format.sample_rate);
    in.format_id = fourcc("lpcm");
    in.format_flags = 12;
    in.bytes_per_packet = frame_bytes;
    in.frames_per_packet = 1;
    in.bytes_per_frame = frame_bytes;
    in.channels_per_frame = format.channels;
    in.bits_per_channel = format.bits_per_sample;
    in.reserved = 0;
    return in;
}

}  // namespace

bool PacketEncoder::start(const AudioFormat& in_format, bool fast, AlacPacketSink in_sink,
                          std::string& error) {
    error.clear();
    if (!in_sink) {
        error = "internal error: ALAC packet sink is null";
        return false;
    }
    const uint32_t bits = in_format.bits_per_sample;
    if (in_format.sample_rate == 0 || in_format.channels < 1 || in_format.channels > 8 ||
        (bits != 16 && bits != 20 && bits != 24 && bits != 32)) {
        error = "unsupported ALAC input format";
        return false;
    }
    format = in_format;
    sink = std::move(in_sink);

    channel_buffers.assign(format.channels, std::vector<int32_t>(packet_frames, 0));
    channel_table.clear();
    for (const auto& buffer : channel_buffers) channel_table.push_back(buffer.data());
    // The encoder's capacity, and slack for the Golomb coder's whole-word
    // writes past the last bit.
    output.assign(size_t(alac::max_frame_bytes(format.channels, packet_frames)) + 63, 0);
    interleaved.reserve(size_t(packet_frames) * format.channels *
                        ((format.bits_per_sample + 7) >> 3));

    encoder.frame_size = packet_frames;
    encoder.fast_mode = fast;
    if (encoder.initialize(alac_output_format(format)) != 0) {
        error = "could not initialize ALAC encoder";
        return false;
    }
    initialized = true;
    return true;
}

bool PacketEncoder::accept_pcm(const int32_t* const* channels, uint32_t frame_count,
                               std::string& error) {
    if (!initialized || finished) {
        error = "ALAC encoder is not accepting PCM";
        return false;
    }
    if (frame_count == 0) return true;
    uint32_t done = 0;
    for (;;) {
        const uint32_t take = std::min(packet_frames - buffered, frame_count);
        for (uint32_t c = 0; c < format.channels; ++c) {
            std::copy_n(channels[c] + done, take, channel_buffers[c].begin() + buffered);
        }
        buffered += take;
        if (buffered == packet_frames) {
            if (!encode_buffered(packet_frames, error)) return false;
            buffered = 0;
        }
        if (frame_count <= take) return true;
        done += take;
        frame_count -= take;
    }
}

bool PacketEncoder::encode_buffered(uint32_t count, std::string& error) {
    if (count == 0) return true;
    const uint32_t bytes = (format.bits_per_sample + 7) >> 3;
    const uint32_t frame_bytes = bytes * format.channels;

    uint64_t t0 = profile_start();
    interleaved.resize(size_t(count) * frame_bytes);
    interleave_packet(channel_buffers, format.bits_per_sample, count, interleaved.data());
    profile_book(stage_interleave, t0);

    const StreamFormat input = pcm_input_format(format, frame_bytes);
    const StreamFormat out_format = alac_output_format(format);
    int32_t io_bytes = static_cast<int32_t>(count * frame_bytes);
    t0 = profile_start();
    const int32_t status =
        encoder.encode_frame(input, out_format, interleaved.data(), output.data(), &io_bytes);
    profile_book(stage_encode_total, t0);
    if (status != 0 || io_bytes < 1) {
        error = "ALAC encoder failed while encoding a PCM frame";
        return false;
    }

    const AlacPacket packet{output.data(), static_cast<uint32_t>(io_bytes), count,
                            encoder.code_starts()};
    if (check && !check(packet, channel_table.data(), count, error)) return false;
    t0 = profile_start();
    const bool taken = sink(packet, error);
    profile_book(stage_packet_sink, t0);
    if (!taken) {
        if (error.empty()) error = "ALAC packet sink rejected encoded data";
        return false;
    }
    return true;
}

bool PacketEncoder::finish(std::string& error) {
    if (!initialized || finished) return true;
    if (buffered > 0) {
        if (!encode_buffered(buffered, error)) return false;
        buffered = 0;
    }
    if (encoder.finish() != 0) {
        error = "ALAC encoder failed to finish";
        return false;
    }
    finished = true;
    return true;
}

std::vector<uint8_t> PacketEncoder::magic_cookie() const {
    if (!initialized) return {};
    const GolombParams golomb;
    MagicCookie cookie;
    cookie.frame_length = encoder.frame_size;
    cookie.bit_depth = uint32_t(encoder.bit_depth);
    cookie.pb = golomb.pb;
    cookie.mb = golomb.mb0;
    cookie.kb = golomb.kb;
    cookie.channels = encoder.num_channels;
    cookie.max_frame_bytes = encoder.max_frame_bytes;
    cookie.sample_rate = encoder.sample_rate;
    return write_magic_cookie(cookie);
}

}  // namespace qv
