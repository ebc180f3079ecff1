#pragma once
// One harness for the kernel tests: a test written with TEST_P on a fixture
// derived from SimdLevelTest runs once per instruction-set level, with the
// kernels capped at that level, and is reported as skipped, by the level's
// name, where the host lacks it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "alac/common/simd_level.h"

namespace qv {

class SimdLevelTest : public testing::TestWithParam<SimdLevel> {
protected:
    void SetUp() override {
        if (host_simd_level() < level())
            GTEST_SKIP() << simd_level_name(level()) << " not available on this host";
        set_max_simd_level(level());
    }
    void TearDown() override { set_max_simd_level(SimdLevel::avx512); }

    SimdLevel level() const { return GetParam(); }
    // Whether the AVX2 loops may run, so that a vector path must take its blocks.
    bool vector_unit() const { return level() >= SimdLevel::avx2; }
};

// How GoogleTest shows a level.
inline void PrintTo(SimdLevel level, std::ostream* os) { *os << simd_level_name(level); }

// The test name suffix of a level: "portable", "AVX2", "AVX512".
inline std::string simd_level_test_name(const testing::TestParamInfo<SimdLevel>& info) {
    std::string name = simd_level_name(info.param);
    std::erase(name, '-');
    return name;
}

}  // namespace qv

// Instantiates the fixture's TEST_Ps at every level.
#define RZ_AT_EVERY_SIMD_LEVEL(Fixture)                                                        \
    INSTANTIATE_TEST_SUITE_P(Level, Fixture,                                                   \
                             testing::Values(::qv::SimdLevel::portable, ::qv::SimdLevel::avx2, \
                                             ::qv::SimdLevel::avx512),                         \
                             ::qv::simd_level_test_name)
