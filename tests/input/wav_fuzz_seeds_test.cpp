// The fuzzer's seed files: a spread of small valid and near-valid WAV and
// RF64 layouts, each checked here against what the reader makes of it. With
// RZ_WAV_FUZZ_SEEDS set to a folder the test also writes them there
// (tests/fuzz/seeds/wav_reader_fuzz/ holds the committed copies).
#include <gtest/gtest.h>

#include <cstdlib>

#include "input/wav_fixture.h"

namespace qv::test {
namespace {

struct Seed {
    const char* name;
    Bytes bytes;
    const char* error;  // empty when the file reads completely
};

std::vector<int32_t> wave(size_t count, int32_t scale) {
    std::vector<int32_t> out;
    for (size_t i = 0; i < count; ++i) {
        out.push_back(int32_t((int64_t(i) * 7919 % 2001 - 1000) * scale / 1000));
    }
    return out;
}

std::vector<Seed> seeds() {
    std::vector<Seed> out;
    {
        WavFile f = simple_wav(pcm_fmt(2, 16), pcm_bytes(wave(32, 32767), 16, 16));
        f.chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'b', 0});
        out.push_back({"pcm16_stereo_list.wav", f.bytes(), ""});
    }
    {
        WavFile f;
        f.chunk("JUNK", {1, 2, 3}).chunk("fmt ", fmt_body(extensible_fmt(6, 24, 20)));
        f.chunk("data", pcm_bytes(wave(48, 524287), 24, 20, 0xF));
        out.push_back({"ext24_20_six_channels.wav", f.bytes(), ""});
    }
    {
        const Bytes data = pcm_bytes(wave(10, 8388607), 32, 24, 0x5A);
        WavFile f("RF64");
        f.chunk("ds64", ds64_body(0, data.size(), 10))
            .chunk("fmt ", fmt_body(extensible_fmt(1, 32, 24)));
        f.chunk("data", 0xFFFFFFFF, data);
        out.push_back({"rf64_ds64_ext32_24.wav", f.bytes(), ""});
    }
    {
        WavFile f;
        f.chunk("fact", {4, 0, 0, 0}).chunk("fmt ", fmt_body(extensible_fmt(8, 32, 16)));
        f.chunk("data", pcm_bytes(wave(32, 32767), 32, 16, 0xFFFF));
        out.push_back({"ext32_16_eight_channels.wav", f.bytes(), ""});
    }
    {
        FmtFields fmt = pcm_fmt(1, 24);
        fmt.size = 18;
        out.push_back({"pcm24_mono_fmt18.wav",
                       simple_wav(fmt, pcm_bytes(wave(20, 8388607), 24, 24)).bytes(), ""});
    }
    {
        WavFile f;
        f.chunk("fmt ", fmt_body(pcm_fmt(2, 32)))
            .chunk("data", 4096, pcm_bytes(wave(24, 2147483647), 32, 32));
        out.push_back({"pcm32_truncated_data.wav", f.bytes(), "truncated WAV PCM data"});
    }
    {
        WavFile f;
        f.chunk("ds64", ds64_body(0, 0, 0, 40)).chunk("fmt ", fmt_body(pcm_fmt(1, 16)));
        f.chunk("fmt ", fmt_body(extensible_fmt(2, 24, 24)))
            .chunk("data", {})
            .chunk("data", Bytes(12, 1));
        out.push_back({"riff_ds64_two_fmt_empty_data.wav", f.bytes(),
                       "WAV/RF64 input has no usable PCM data chunk"});
    }
    {
        FmtFields fmt = extensible_fmt(2, 32, 32);
        fmt.sub_format = 3;
        out.push_back({"ext_float.wav", simple_wav(fmt, Bytes(16, 0)).bytes(),
                       "WAVEFORMATEXTENSIBLE input is not integer PCM"});
    }
    return out;
}

TEST(WavFuzzSeeds, ReadAsExpected) {
    const char* target = std::getenv("RZ_WAV_FUZZ_SEEDS");
    for (const Seed& seed : seeds()) {
        SCOPED_TRACE(seed.name);
        EXPECT_LE(seed.bytes.size(), 600u);
        const WavRun run = run_wav_reader(seed.bytes);
        EXPECT_EQ(run.ok, std::string(seed.error).empty());
        EXPECT_EQ(run.error, seed.error);
        if (target != nullptr) {
            write_file(std::filesystem::path(target) / seed.name, seed.bytes);
        }
    }
}

}  // namespace
}  // namespace qv::test
