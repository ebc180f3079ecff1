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

#include "alac/alac_encoder.h"
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

// The packet's PCM as the frame encoder's little-endian input bytes.
inline std::vector<uint8_t> packet_pcm_bytes(const MusicPacket& packet) {
    std::vector<uint8_t> pcm(packet.pcm.size() * 2);
    for (size_t i = 0; i < packet.pcm.size(); ++i) {
        const auto v = static_cast<uint16_t>(packet.pcm[i]);
        pcm[2 * i] = uint8_t(v);
        pcm[2 * i + 1] = uint8_t(v >> 8);
    }
    return pcm;
}

// The stream descriptions the packet encoder hands to encode_frame for
// 16-bit stereo at 44.1 kHz.
inline void stereo16_formats(StreamFormat& input, StreamFormat& output) {
    output = StreamFormat{};
    output.sample_rate = 44100;
    output.format_id = fourcc("alac");
    output.format_flags = 1;
    output.frames_per_packet = packet_frames;
    output.channels_per_frame = 2;
    output.bits_per_channel = 16;
    input = output;
    input.format_id = fourcc("lpcm");
    input.format_flags = 12;
    input.bytes_per_packet = input.bytes_per_frame = 4;
    input.frames_per_packet = 1;
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
