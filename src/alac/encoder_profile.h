#pragma once
// Process-wide cycle counters for the encoder stages, filled only while
// profiling is on and printed as a report after a conversion.
#include <cstdint>

#include "platform/cycle_counter.h"

namespace qv {

enum EncoderStage : int {
    stage_encode_total = 0,    // "ALAC encode total"
    stage_interleave = 1,      // "PCM interleave/pack"
    stage_mix16 = 2,           // "Stereo matrix (mix16)"
    stage_predictor = 3,       // "Dynamic predictor"
    stage_golomb = 4,          // "Adaptive Golomb"
    stage_packet_sink = 5,     // "M4A packet sink"
    stage_predictor_0 = 6,     // "Predictor: 0-tap"
    stage_predictor_4 = 7,     // "Predictor: 4-tap"
    stage_predictor_8 = 8,     // "Predictor: 8-tap"
    stage_predictor_31 = 9,    // "Predictor: 31/delta"
    stage_predictor_any = 10,  // "Predictor: general"
    encoder_stage_count = 11,
};

struct StageCounter {
    uint64_t cycles;
    uint64_t calls;
};

struct EncoderProfile {
    StageCounter stages[encoder_stage_count];
    int32_t profiling_enabled;  // 0 or 1
};

extern EncoderProfile encoder_profile;

// Clears all 22 counters; leaves the flag alone.
void reset_encoder_profile();
void set_profiling_enabled(bool enabled);
inline bool profiling_enabled() { return encoder_profile.profiling_enabled != 0; }

// Prints the two-table report to standard output; nothing when profiling is off.
void print_encoder_profile();

// The booking rule at every hook: read the counter only while profiling.
inline uint64_t profile_start() { return profiling_enabled() ? platform::read_cycle_counter() : 0; }
inline void profile_book(EncoderStage stage, uint64_t t0) {
    if (profiling_enabled()) {
        const uint64_t delta = platform::read_cycle_counter() - t0;
        encoder_profile.stages[stage].cycles += delta;
        encoder_profile.stages[stage].calls += 1;
    }
}

}  // namespace qv
