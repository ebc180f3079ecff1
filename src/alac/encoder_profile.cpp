#include "alac/encoder_profile.h"

#include <cstdio>

namespace qv {

EncoderProfile encoder_profile{};

namespace {

const char* const stage_names[encoder_stage_count] = {
    "ALAC encode total", "PCM interleave/pack", "Stereo matrix (mix16)", "Dynamic predictor",
    "Adaptive Golomb",   "M4A packet sink",     "Predictor: 0-tap",      "Predictor: 4-tap",
    "Predictor: 8-tap",  "Predictor: 31/delta", "Predictor: general",
};

double percent_of(uint64_t part, uint64_t whole) {
    return whole == 0 ? 0.0 : static_cast<double>(part) * 100.0 / static_cast<double>(whole);
}

}  // namespace

void reset_encoder_profile() {
    for (StageCounter& stage : encoder_profile.stages) {
        stage.cycles = 0;
        stage.calls = 0;
    }
}

void set_profiling_enabled(bool enabled) { encoder_profile.profiling_enabled = enabled ? 1 : 0; }

void print_encoder_profile() {
    if (!profiling_enabled()) return;
    const StageCounter* stages = encoder_profile.stages;
    const uint64_t total = stages[stage_encode_total].cycles;

    std::printf(
        "\nRO-ZOZA internal profile (RDTSC cycles; profiling build instrumentation enabled)\n");
    std::printf("%-24s %14s %10s %12s\n", "Stage", "Cycles", "% Encode", "Calls");
    for (int i = 0; i < encoder_stage_count; ++i) {
        std::printf("%-24s %14llu %9.2f%% %12llu\n", stage_names[i],
                    static_cast<unsigned long long>(stages[i].cycles),
                    percent_of(stages[i].cycles, total),
                    static_cast<unsigned long long>(stages[i].calls));
    }
    const uint64_t inner =
        stages[stage_mix16].cycles + stages[stage_predictor].cycles + stages[stage_golomb].cycles;
    if (total >= inner) {
        std::printf("%-24s %14llu %9.2f%%\n", "Other ALAC encode work",
                    static_cast<unsigned long long>(total - inner),
                    percent_of(total - inner, total));
    }

    std::printf("\nPredictor path breakdown\n");
    std::printf("%-24s %14s %12s %12s\n", "Path", "Cycles", "% Predictor", "Calls");
    const uint64_t predictor = stages[stage_predictor].cycles;
    for (int i = stage_predictor_0; i <= stage_predictor_any; ++i) {
        std::printf("%-24s %14llu %11.2f%% %12llu\n", stage_names[i],
                    static_cast<unsigned long long>(stages[i].cycles),
                    percent_of(stages[i].cycles, predictor),
                    static_cast<unsigned long long>(stages[i].calls));
    }
    std::printf("Note: stage percentages are diagnostic, not wall-clock benchmark results.\n");
}

}  // namespace qv
