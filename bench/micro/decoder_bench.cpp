// AlacDecoder::decode_frame on one stereo 16-bit packet of music-like audio,
// encoded with the parameter searches and in fast mode (all order 8), with
// and without the encoder's code starts, and the two decoding stages on
// their own: residuals and inverse predictor.
#include <cstring>
#include <string>

#include "alac/alac_encoder.h"
#include "alac/common/simd_level.h"
#include "alac/decoder/alac_decoder.h"
#include "alac/decoder/golomb_decoder.h"
#include "alac/decoder/unpredictor.h"
#include "music_packet.h"

namespace {

using qv::bench::packet_frames;

struct EncodedPacket {
    std::vector<uint8_t> bytes;
    qv::PairCodeStarts starts;
};

EncodedPacket encode_packet(bool fast) {
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    std::vector<uint8_t> pcm = qv::bench::packet_pcm_bytes(packet);
    qv::StreamFormat input, output;
    qv::bench::stereo16_formats(input, output);
    qv::ALACEncoder encoder;
    encoder.fast_mode = fast;
    EncodedPacket result;
    if (encoder.initialize(output) != 0) return result;
    result.bytes.resize(encoder.max_output_bytes + 64);
    // A few packets first so that the coefficient banks have adapted.
    int32_t bytes = 0;
    for (int i = 0; i < 4; ++i) {
        bytes = static_cast<int32_t>(pcm.size());
        encoder.encode_frame(input, output, pcm.data(), result.bytes.data(), &bytes);
    }
    result.bytes.resize(static_cast<size_t>(bytes));
    result.starts = encoder.code_starts();
    return result;
}

void decode_frame_packet(benchmark::State& state) {
    // The kernels' instruction-set cap: 0 portable, 1 AVX2, 2 AVX-512.
    qv::set_max_simd_level(static_cast<qv::SimdLevel>(state.range(2)));
    const EncodedPacket packet = encode_packet(state.range(0) != 0);
    const qv::PairCodeStarts* starts = state.range(1) != 0 ? &packet.starts : nullptr;
    qv::AlacDecoder decoder;
    qv::MagicCookie config;
    std::string error;
    if (packet.bytes.empty() || !decoder.configure(config, error) ||
        decoder.decode_frame(packet.bytes.data(), packet.bytes.size(), starts) !=
            qv::AlacDecodeStatus::ok) {
        state.SkipWithError("packet does not decode");
        return;
    }
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        benchmark::DoNotOptimize(
            decoder.decode_frame(packet.bytes.data(), packet.bytes.size(), starts));
        benchmark::DoNotOptimize(decoder.channel(0));
    });
    qv::set_max_simd_level(qv::SimdLevel::avx512);
}

// Residuals of an order-8 predictor over the music packet's U signal.
void unpredict_block_order(benchmark::State& state) {
    const uint32_t order = static_cast<uint32_t>(state.range(0));
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    const std::vector<int32_t> residual = [&] {
        std::vector<int32_t> r(packet.u.begin(), packet.u.begin() + packet_frames);
        for (int32_t i = packet_frames - 1; i > 0; --i) r[i] -= r[i - 1];
        return r;
    }();
    std::vector<int32_t> x(residual.size());
    qv::bench::run_with_cycle_counter(state, packet_frames, [&] {
        std::memcpy(x.data(), residual.data(), residual.size() * 4);
        int16_t coefs[32] = {1216, -928, -64, 40, -20, 10, -5, 2};
        qv::unpredict_block(x.data(), packet_frames, coefs, order, 17, 9);
        benchmark::DoNotOptimize(x.data());
    });
}

// The same residuals as U and, negated, as V, rebuilt as a pair.
void unpredict_pair_order(benchmark::State& state) {
    const uint32_t order = static_cast<uint32_t>(state.range(0));
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    std::vector<int32_t> residual(packet.u.begin(), packet.u.begin() + packet_frames);
    for (int32_t i = packet_frames - 1; i > 0; --i) residual[i] -= residual[i - 1];
    std::vector<int32_t> u(residual.size()), v(residual.size());
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        for (size_t i = 0; i < residual.size(); ++i) u[i] = residual[i], v[i] = -residual[i];
        int16_t coefs_u[32] = {1216, -928, -64, 40, -20, 10, -5, 2};
        int16_t coefs_v[32] = {1216, -928, -64, 40, -20, 10, -5, 2};
        qv::unpredict_block_pair({u.data(), coefs_u, order, 9}, {v.data(), coefs_v, order, 9},
                                 packet_frames, 17);
        benchmark::DoNotOptimize(u.data());
        benchmark::DoNotOptimize(v.data());
    });
}

}  // namespace

BENCHMARK(unpredict_pair_order)->Arg(4)->Arg(8);
BENCHMARK(decode_frame_packet)
    ->ArgNames({"fast", "starts", "level"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1, 2}});
BENCHMARK(unpredict_block_order)->Arg(4)->Arg(8)->Arg(6);
