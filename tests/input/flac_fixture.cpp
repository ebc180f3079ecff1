#include "input/flac_fixture.h"

#include <FLAC/stream_encoder.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "input/flac_reader.h"
#include "input/wav_fixture.h"

namespace qv::test {
namespace {

// The encoder writes into memory; with seek and tell it can go back and
// fill in STREAMINFO's totals at the end.
struct Sink {
    std::vector<uint8_t> bytes;
    size_t position = 0;
    std::vector<size_t> frame_offsets;
};

FLAC__StreamEncoderWriteStatus write_bytes_cb(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                              size_t count, uint32_t samples, uint32_t,
                                              void* client) {
    Sink& sink = *static_cast<Sink*>(client);
    // A write with samples is the start of a frame (the encoder writes each
    // frame in one call); a write without samples is metadata.
    if (samples != 0 && sink.position == sink.bytes.size()) {
        sink.frame_offsets.push_back(sink.position);
    }
    if (sink.position + count > sink.bytes.size()) {
        sink.bytes.resize(sink.position + count);
    }
    std::memcpy(sink.bytes.data() + sink.position, buffer, count);
    sink.position += count;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus seek_cb(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                      void* client) {
    static_cast<Sink*>(client)->position = static_cast<size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tell_cb(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                      void* client) {
    *offset = static_cast<Sink*>(client)->position;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

}  // namespace

PcmSignal make_signal(uint32_t channels, uint32_t bits, size_t frames, uint32_t sample_rate,
                      uint32_t seed) {
    PcmSignal signal;
    signal.channels = channels;
    signal.bits = bits;
    signal.sample_rate = sample_rate;
    const int64_t max = (int64_t{1} << (bits - 1)) - 1;
    const int64_t min = -max - 1;
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    signal.planes.assign(channels, std::vector<int32_t>(frames));
    for (uint32_t c = 0; c < channels; ++c) {
        for (size_t i = 0; i < frames; ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            // A slow ramp per channel plus noise, so frames compress unevenly.
            const int64_t ramp = static_cast<int64_t>((i * (c + 1) * 37) % 2001) - 1000;
            const int64_t noise = static_cast<int64_t>(state >> 33) % (max / 4 + 1);
            int64_t value = ramp * (max / 2000) + noise - max / 8;
            if (i % 997 == c) value = max;
            if (i % 991 == c) value = min;
            signal.planes[c][i] = static_cast<int32_t>(value < min   ? min
                                                       : value > max ? max
                                                                     : value);
        }
    }
    return signal;
}

EncodedFlac encode_flac(const PcmSignal& signal, const FlacEncodeOptions& options) {
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    if (encoder == nullptr) throw std::runtime_error("no FLAC encoder");
    FLAC__stream_encoder_set_channels(encoder, signal.channels);
    FLAC__stream_encoder_set_bits_per_sample(encoder, signal.bits);
    FLAC__stream_encoder_set_sample_rate(encoder, signal.sample_rate);
    FLAC__stream_encoder_set_blocksize(encoder, options.blocksize);
    FLAC__stream_encoder_set_streamable_subset(encoder, false);
    FLAC__stream_encoder_set_compression_level(encoder, 5);
    Sink sink;
    const FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
        encoder, write_bytes_cb, options.declare_total ? seek_cb : nullptr,
        options.declare_total ? tell_cb : nullptr, nullptr, &sink);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        FLAC__stream_encoder_delete(encoder);
        throw std::runtime_error("FLAC encoder init failed");
    }
    std::vector<const FLAC__int32*> planes;
    for (const auto& plane : signal.planes) planes.push_back(plane.data());
    bool ok =
        signal.frames() == 0 || FLAC__stream_encoder_process(
                                    encoder, planes.data(), static_cast<uint32_t>(signal.frames()));
    ok = FLAC__stream_encoder_finish(encoder) && ok;
    FLAC__stream_encoder_delete(encoder);
    if (!ok) throw std::runtime_error("FLAC encoding failed");
    return EncodedFlac{std::move(sink.bytes), std::move(sink.frame_offsets)};
}

void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

const FlacLibrary* system_flac() {
    static const std::unique_ptr<FlacLibrary> library = load_flac_library();
    return library.get();
}

FlacRun run_flac_reader(const FlacLibrary* library, const std::vector<uint8_t>& bytes,
                        size_t refuse_call) {
    const std::filesystem::path path = test_directory() / "input.flac";
    write_bytes(path, bytes);
    return run_flac_reader_on(library, path, refuse_call);
}

FlacRun run_flac_reader_on(const FlacLibrary* library, const std::filesystem::path& path,
                           size_t refuse_call) {
    FlacRun run;
    run.recorder.format = &run.format;
    run.recorder.refuse_call = refuse_call;
    run.error = "stale text";
    run.ok =
        read_flac_input(library, path, run.format, &PcmRecorder::consume, &run.recorder, run.error);
    return run;
}

bool same_samples(const PcmRecorder& recorder, const PcmSignal& signal) {
    return recorder.channels == signal.planes;
}

}  // namespace qv::test
