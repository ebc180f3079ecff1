#include "test_signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "common/int_width.h"

namespace qv::testsig {

namespace {

double unit(std::mt19937& rng) { return static_cast<double>(rng()) / 4294967296.0; }

}  // namespace

std::vector<int32_t> music_like(size_t count, uint32_t bits, uint32_t seed) {
    std::mt19937 rng(seed);
    const double peak = std::ldexp(0.7, static_cast<int>(bits) - 1);
    const double base[4] = {110.0 + 50 * unit(rng), 330.0 + 100 * unit(rng),
                            1250.0 + 400 * unit(rng), 5100.0 + 900 * unit(rng)};
    const double weight[4] = {0.5, 0.25, 0.15, 0.05};
    std::vector<int32_t> out(count);
    double phase[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < count; ++i) {
        double sum = 0;
        for (int t = 0; t < 4; ++t) {
            const double glide = 1.0 + 0.02 * std::sin(static_cast<double>(i) * 1e-4 * (t + 1));
            phase[t] += 2 * std::numbers::pi * base[t] * glide / 44100.0;
            sum += weight[t] * std::sin(phase[t]);
        }
        const double envelope = 0.6 + 0.4 * std::sin(static_cast<double>(i) * 3e-4);
        const double noise = (unit(rng) - 0.5) * 0.01;
        out[i] = static_cast<int32_t>(std::lround(peak * (envelope * sum + noise)));
    }
    return out;
}

std::vector<int32_t> full_scale_noise(size_t count, uint32_t bits, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int32_t> out(count);
    for (int32_t& x : out) x = sign_extend(static_cast<uint32_t>(rng()), bits);
    return out;
}

std::vector<int32_t> residual_like(size_t count, uint32_t scale, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int32_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pick = rng() % 1000;
        if (pick < 30) {  // a run of zeros
            const size_t run = rng() % 300;
            for (size_t j = 0; j < run && i < count; ++j) out[i++] = 0;
            if (i >= count) break;
        }
        if (pick == 999) {
            out[i] = static_cast<int32_t>(rng());
            continue;
        }
        const double magnitude = -std::log(1.0 - unit(rng)) * scale;
        const int32_t value = static_cast<int32_t>(std::min(magnitude, 2.0e9));
        out[i] = (rng() & 1) ? value : -value;
    }
    return out;
}

}  // namespace qv::testsig
