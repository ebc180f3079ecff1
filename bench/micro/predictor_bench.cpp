// predict_block over one stereo packet (U then V), by predictor order.
#include <cstring>

#include "alac/predictor.h"
#include "music_packet.h"

namespace {

void predictor_packet(benchmark::State& state) {
    const int32_t order = static_cast<int32_t>(state.range(0));
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    std::vector<int32_t> residual(qv::bench::packet_frames + 32);
    int16_t coefs_u[16] = {1216, -928, -64};
    int16_t coefs_v[16] = {1216, -928, -64};
    qv::bench::run_with_cycle_counter(state, 2 * qv::bench::packet_frames, [&] {
        qv::predict_block(packet.u.data(), residual.data(), qv::bench::packet_frames, coefs_u,
                          order, 17, 9);
        qv::predict_block(packet.v.data(), residual.data(), qv::bench::packet_frames, coefs_v,
                          order, 17, 9);
        benchmark::DoNotOptimize(residual.data());
    });
}

}  // namespace

BENCHMARK(predictor_packet)->Arg(4)->Arg(8)->Arg(6)->Arg(31);

namespace {

// U and V through the two-signal entry point.
void predictor_pair(benchmark::State& state) {
    const int32_t order = static_cast<int32_t>(state.range(0));
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    std::vector<int32_t> residual_u(qv::bench::packet_frames + 32);
    std::vector<int32_t> residual_v(qv::bench::packet_frames + 32);
    int16_t coefs_u[16] = {1216, -928, -64};
    int16_t coefs_v[16] = {1216, -928, -64};
    qv::bench::run_with_cycle_counter(state, 2 * qv::bench::packet_frames, [&] {
        qv::predict_block_pair({packet.u.data(), residual_u.data(), coefs_u, order},
                               {packet.v.data(), residual_v.data(), coefs_v, order},
                               qv::bench::packet_frames, 17, 9);
        benchmark::DoNotOptimize(residual_u.data());
        benchmark::DoNotOptimize(residual_v.data());
    });
}

}  // namespace

BENCHMARK(predictor_pair)->Arg(4)->Arg(8);
