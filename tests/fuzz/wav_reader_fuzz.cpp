// Fuzzes read_wav_input through a temporary file and checks the reader's
// side of the consumer contract on every input.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "input/wav_reader.h"

namespace {

// Large enough for a 65536-byte fmt chunk behind the file and chunk headers.
constexpr const char* kDefaultMaxLen = "-max_len=65600";

const char* const kMessages[] = {
    "could not open WAV/RF64 input",
    "input is not a RIFF/RF64 WAVE file",
    "RF64 ds64 chunk is invalid",
    "truncated RF64 ds64 chunk",
    "WAV fmt chunk is unreasonably large",
    "truncated WAV fmt chunk",
    "WAV fmt chunk is too short",
    "WAVEFORMATEXTENSIBLE fmt chunk is incomplete",
    "WAVEFORMATEXTENSIBLE input is not integer PCM",
    "WAV input is not integer PCM",
    "WAV channel count must be between 1 and 8",
    "WAV sample rate is invalid",
    "RO-ZOZA accepts 16, 24 or 32-bit PCM containers",
    "RO-ZOZA accepts 16, 20, 24 or 32 valid PCM bits",
    "WAV valid bit depth exceeds its PCM container",
    "WAV block alignment is inconsistent with its PCM format",
    "WAV data chunk appears before fmt chunk",
    "WAV/RF64 input has no usable PCM data chunk",
    "WAV data size is not aligned to complete sample frames",
    "truncated WAV PCM data",
    "WAV decode was aborted by the PCM consumer",
};

[[noreturn]] void contract_broken(const char* what) {
    std::fprintf(stderr, "contract broken: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what) {
    if (!condition) {
        contract_broken(what);
    }
}

constexpr qv::AudioFormat kUnset{7, 7, 7, 7};

bool same(const qv::AudioFormat& a, const qv::AudioFormat& b) {
    return a.sample_rate == b.sample_rate && a.bits_per_sample == b.bits_per_sample &&
           a.channels == b.channels && a.total_frames == b.total_frames;
}

struct Checker {
    const qv::AudioFormat* format = nullptr;
    qv::AudioFormat first;
    uint64_t calls = 0;
    uint64_t frames = 0;
    uint64_t refuse_call = 0;
    bool refused = false;
};

bool consume(void* context, const int32_t* const* planes, uint32_t frames) {
    auto* c = static_cast<Checker*>(context);
    const qv::AudioFormat& f = *c->format;
    check(!c->refused, "called after returning false");
    check(frames >= 1 && frames <= 4096, "block size");
    check(f.channels >= 1 && f.channels <= 8, "channel count");
    check(f.sample_rate != 0, "sample rate");
    check(f.bits_per_sample == 16 || f.bits_per_sample == 20 || f.bits_per_sample == 24 ||
              f.bits_per_sample == 32,
          "bits per sample");
    if (c->calls == 0) {
        c->first = f;
    }
    check(same(f, c->first), "format changed between blocks");
    c->frames += frames;
    check(c->frames <= f.total_frames, "more frames than declared");
    const int64_t max = (int64_t(1) << (f.bits_per_sample - 1)) - 1;
    for (uint32_t ch = 0; ch < f.channels; ++ch) {
        for (uint32_t i = 0; i < frames; ++i) {
            const int64_t v = planes[ch][i];
            check(v >= -max - 1 && v <= max, "sample outside its bit depth");
        }
    }
    if (c->calls++ == c->refuse_call) {
        c->refused = true;
        return false;
    }
    return true;
}

// One file per process, removed again after every input.
const std::string& temp_path() {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("wav_reader_fuzz." + std::to_string(getpid()) + ".wav"))
                                        .string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Adds the input size cap unless the command line sets one.
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], "-max_len=", 9) == 0) {
            return 0;
        }
    }
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, const_cast<char*>(kDefaultMaxLen));
    args.push_back(nullptr);
    *argv = args.data();
    *argc += 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(temp_path().c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        contract_broken("could not write the temporary input");
    }
    qv::AudioFormat format = kUnset;
    Checker checker;
    checker.format = &format;
    checker.refuse_call = size % 8;
    std::string error = "stale";
    // Every other input also has its INFO lists read, before and after the audio.
    qv::InputTags tags;
    qv::WavReadOptions options;
    options.tags = (size >> 3 & 1) != 0 ? &tags : nullptr;
    uint32_t ignored_bytes = 0;
    const bool ok =
        qv::read_wav_input(temp_path(), options, format, consume, &checker, error, ignored_bytes);
    for (const qv::InputTag& tag : tags.tags) {
        check(!tag.name.empty() && !tag.label.empty() && !tag.value.empty(), "empty tag");
    }
    std::remove(temp_path().c_str());
    if (ok) {
        check(error.empty(), "message on success");
        check(!checker.refused, "success after a refusal");
        check(checker.frames == format.total_frames, "success without every frame");
    } else {
        bool known = false;
        for (const char* message : kMessages) {
            known = known || error == message;
        }
        check(known, "unknown message");
        check(checker.calls > 0 || same(format, kUnset) || error == "truncated WAV PCM data",
              "format written by a failed header check");
        check(checker.refused == (error == "WAV decode was aborted by the PCM consumer"),
              "abort message");
    }
    return 0;
}
