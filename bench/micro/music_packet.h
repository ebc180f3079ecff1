#pragma once
// One stereo 16-bit packet (4096 frames) of music-like audio for the
// micro-benchmarks: gliding sines plus a little noise, matrixed as the frame
// encoder would (mix_res 2), and a helper that reports cycles per sample.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "alac/matrix.h"
#include "platform/cycle_counter.h"

namespace qv::bench {

inline constexpr int32_t packet_frames = 4096;

struct MusicPacket {
    std::vector<int16_t> pcm;  // interleaved L, R
    std::vector<int32_t> u, v;
};

inline MusicPacket make_music_packet() {
    MusicPacket p;
    p.pcm.resize(2 * packet_frames);
    std::mt19937 rng(2024);
    const double tones[2][3] = {{220.0, 554.4, 1318.5}, {164.8, 659.3, 2093.0}};
    for (int32_t i = 0; i < packet_frames; ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            double s = 0;
            for (int t = 0; t < 3; ++t) {
                s += std::sin(2 * std::numbers::pi * tones[ch][t] * i / 44100.0) / (t + 1.5);
            }
            const double noise = (static_cast<double>(rng()) / 4294967296.0 - 0.5) * 0.02;
            p.pcm[2 * i + ch] = static_cast<int16_t>(std::lround(12000.0 * (s + noise)));
        }
    }
    p.u.resize(packet_frames + 32);
    p.v.resize(packet_frames + 32);
    mix16(p.pcm.data(), 2, p.u.data(), p.v.data(), packet_frames, 2);
    return p;
}

// Times the loop body with the cycle counter and reports cycles per
// channel sample (`samples` per iteration).
template <typename Body>
void run_with_cycle_counter(benchmark::State& state, int64_t samples, Body body) {
    uint64_t cycles = 0;
    for (auto _ : state) {
        const uint64_t t0 = platform::read_cycle_counter();
        body();
        cycles += platform::read_cycle_counter() - t0;
    }
    state.counters["cycles/sample"] =
        static_cast<double>(cycles) / static_cast<double>(state.iterations() * samples);
    state.SetItemsProcessed(state.iterations() * samples);
}

}  // namespace qv::bench
