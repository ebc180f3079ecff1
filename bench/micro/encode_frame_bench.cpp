// ALACEncoder::encode_frame on one stereo 16-bit packet of music-like audio,
// with the parameter searches and in fast mode. The coefficient banks keep
// adapting from one iteration to the next, as they do over a stream.
#include <cstring>

#include "alac/alac_encoder.h"
#include "music_packet.h"

namespace {

void encode_frame_packet(benchmark::State& state) {
    using qv::bench::packet_frames;
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    std::vector<uint8_t> pcm = qv::bench::packet_pcm_bytes(packet);
    qv::StreamFormat input, output;
    qv::bench::stereo16_formats(input, output);

    qv::ALACEncoder encoder;
    encoder.fast_mode = state.range(0) != 0;
    if (encoder.initialize(output) != 0) {
        state.SkipWithError("initialize failed");
        return;
    }
    std::vector<uint8_t> out(encoder.max_output_bytes + 64);
    int32_t bytes = 0;
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        bytes = static_cast<int32_t>(pcm.size());
        encoder.encode_frame(input, output, pcm.data(), out.data(), &bytes);
        benchmark::DoNotOptimize(out.data());
    });
    state.counters["bits/sample"] = 8.0 * bytes / (2 * packet_frames);
}

}  // namespace

BENCHMARK(encode_frame_packet)->ArgName("fast")->Arg(0)->Arg(1);
