// golomb_encode of the order-8 residuals of one stereo packet (U then V).
#include "alac/golomb.h"
#include "alac/predictor.h"
#include "music_packet.h"

namespace {

void golomb_packet(benchmark::State& state) {
    using qv::bench::packet_frames;
    static const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
    std::vector<int32_t> res_u(packet_frames + 32), res_v(packet_frames + 32);
    int16_t coefs_u[16] = {1216, -928, -64};
    int16_t coefs_v[16] = {1216, -928, -64};
    qv::predict_block(packet.u.data(), res_u.data(), packet_frames, coefs_u, 8, 17, 9);
    qv::predict_block(packet.v.data(), res_v.data(), packet_frames, coefs_v, 8, 17, 9);
    std::vector<uint8_t> out(packet_frames * 2 * 6 + 64);
    uint32_t total_bits = 0;
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        qv::BitWriter writer;
        qv::bit_writer_init(writer, out.data(), static_cast<uint32_t>(out.size() - 8));
        qv::GolombParams params;
        uint32_t bits_u = 0, bits_v = 0;
        qv::set_golomb_params(params, packet_frames);
        qv::golomb_encode(params, res_u.data(), writer, packet_frames, 17, bits_u);
        qv::set_golomb_params(params, packet_frames);
        qv::golomb_encode(params, res_v.data(), writer, packet_frames, 17, bits_v);
        total_bits = bits_u + bits_v;
        benchmark::DoNotOptimize(out.data());
    });
    state.counters["bits/sample"] = static_cast<double>(total_bits) / (2 * packet_frames);
}

}  // namespace

BENCHMARK(golomb_packet);
