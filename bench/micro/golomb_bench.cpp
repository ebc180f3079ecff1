// golomb_encode of the order-8 residuals of one stereo packet (U then V),
// golomb_measure of the same, and golomb_decode of what it wrote.
#include <algorithm>

#include "alac/decoder/golomb_decoder.h"
#include "alac/decoder/golomb_reader.h"
#include "alac/golomb.h"
#include "alac/predictor.h"
#include "music_packet.h"

namespace {

using qv::bench::packet_frames;

struct Residuals {
    std::vector<int32_t> u, v;
};

const Residuals& packet_residuals() {
    static const Residuals residuals = [] {
        const qv::bench::MusicPacket packet = qv::bench::make_music_packet();
        Residuals r{std::vector<int32_t>(packet_frames + 32),
                    std::vector<int32_t>(packet_frames + 32)};
        int16_t coefs_u[16] = {1216, -928, -64};
        int16_t coefs_v[16] = {1216, -928, -64};
        qv::predict_block(packet.u.data(), r.u.data(), packet_frames, coefs_u, 8, 17, 9);
        qv::predict_block(packet.v.data(), r.v.data(), packet_frames, coefs_v, 8, 17, 9);
        return r;
    }();
    return residuals;
}

// Both channels coded into `out`; returns the number of bits, and U's in
// `bits_u` when given.
uint32_t encode_both(const Residuals& r, std::vector<uint8_t>& out, uint32_t* bits_u = nullptr) {
    qv::BitWriter writer;
    qv::bit_writer_init(writer, out.data(), static_cast<uint32_t>(out.size() - 8));
    qv::GolombParams params;
    uint32_t u_bits = 0, v_bits = 0;
    qv::set_golomb_params(params);
    qv::golomb_encode(params, r.u.data(), writer, packet_frames, 17, u_bits);
    qv::set_golomb_params(params);
    qv::golomb_encode(params, r.v.data(), writer, packet_frames, 17, v_bits);
    if (bits_u != nullptr) *bits_u = u_bits;
    return u_bits + v_bits;
}

void golomb_packet(benchmark::State& state) {
    const Residuals& residuals = packet_residuals();
    std::vector<uint8_t> out(packet_frames * 2 * 6 + 64);
    uint32_t total_bits = 0;
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        total_bits = encode_both(residuals, out);
        benchmark::DoNotOptimize(out.data());
    });
    state.counters["bits/sample"] = static_cast<double>(total_bits) / (2 * packet_frames);
}

void golomb_measure_packet(benchmark::State& state) {
    const Residuals& residuals = packet_residuals();
    uint32_t bits_u = 0, bits_v = 0;
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        qv::golomb_measure(residuals.u.data(), packet_frames, 17, bits_u);
        qv::golomb_measure(residuals.v.data(), packet_frames, 17, bits_v);
        benchmark::DoNotOptimize(bits_u + bits_v);
    });
}

void golomb_decode_packet(benchmark::State& state) {
    const Residuals& residuals = packet_residuals();
    std::vector<uint8_t> out(packet_frames * 2 * 6 + 64);
    const uint32_t bits = encode_both(residuals, out);
    out.resize((bits + 7) / 8);
    std::vector<int32_t> decoded(2 * packet_frames);
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        qv::BitReader reader(out.data(), out.size());
        const qv::GolombParams params;
        qv::golomb_decode(reader, params, decoded.data(), packet_frames, 17);
        qv::golomb_decode(reader, params, decoded.data() + packet_frames, packet_frames, 17);
        benchmark::DoNotOptimize(decoded.data());
    });
    if (!std::equal(decoded.begin(), decoded.begin() + packet_frames, residuals.u.begin()))
        state.SkipWithError("decoded residuals differ");
}

// Both channels' residuals read side by side, V's from where U's end, as
// the pair rebuild reads them with the encoder's code starts.
void golomb_decode_side_by_side(benchmark::State& state) {
    const Residuals& residuals = packet_residuals();
    std::vector<uint8_t> out(packet_frames * 2 * 6 + 64);
    uint32_t bits_u = 0;
    out.resize((encode_both(residuals, out, &bits_u) + 7) / 8);
    std::vector<int32_t> u(packet_frames), v(packet_frames);
    qv::bench::run_with_cycle_counter(state, 2 * packet_frames, [&] {
        qv::BitReader reader(out.data(), out.size());
        qv::BitReader v_reader = reader;
        v_reader.move_to(bits_u);
        qv::golomb_reader::UsualResidualReader ru(reader, {}, u.data(), packet_frames, 17);
        qv::golomb_reader::UsualResidualReader rv(v_reader, {}, v.data(), packet_frames, 17);
        for (uint32_t i = 0; i < uint32_t(packet_frames); ++i) {
            if (!ru.holds(i) && ru.step() != qv::AlacDecodeStatus::ok) break;
            if (!rv.holds(i) && rv.step() != qv::AlacDecodeStatus::ok) break;
        }
        benchmark::DoNotOptimize(u.data());
        benchmark::DoNotOptimize(v.data());
    });
    if (!std::equal(u.begin(), u.end(), residuals.u.begin()) ||
        !std::equal(v.begin(), v.end(), residuals.v.begin()))
        state.SkipWithError("decoded residuals differ");
}

}  // namespace

BENCHMARK(golomb_packet);
BENCHMARK(golomb_measure_packet);
BENCHMARK(golomb_decode_packet);
BENCHMARK(golomb_decode_side_by_side);
