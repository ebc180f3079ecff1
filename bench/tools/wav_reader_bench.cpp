// Measures read_wav_input alone: reads large WAV files from the page cache
// into a consumer that only sums the samples, and prints the median rate.
//
//   wav_reader_bench FOLDER [RUNS]
//
// Creates FOLDER/stereo16.wav and FOLDER/surround24.wav (just over 1 GiB of
// PCM each) when they are absent, reads each once to warm the cache, then
// times RUNS reads (default 5) of each.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "input/wav_reader.h"

namespace {

constexpr uint64_t kTargetBytes = (uint64_t(1) << 30) + (uint64_t(1) << 20);

struct BenchFile {
    const char* name;
    uint16_t channels;
    uint16_t bits;
};

void put_le(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(char((value >> (8 * i)) & 0xFF));
    }
}

// A plain PCM WAV of a deterministic noise signal, written in 4 MiB pieces.
bool create_file(const std::filesystem::path& path, const BenchFile& bench_file) {
    const uint32_t block_align = bench_file.channels * (bench_file.bits / 8u);
    const uint64_t frames = kTargetBytes / block_align;
    const uint64_t data_size = frames * block_align;
    std::string header = "RIFF";
    put_le(header, 4 + 24 + 8 + data_size, 4);
    header += "WAVEfmt ";
    put_le(header, 16, 4);
    put_le(header, 1, 2);
    put_le(header, bench_file.channels, 2);
    put_le(header, 44100, 4);
    put_le(header, 44100u * block_align, 4);
    put_le(header, block_align, 2);
    put_le(header, bench_file.bits, 2);
    header += "data";
    put_le(header, data_size, 4);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(header.data(), std::streamsize(header.size()));
    std::vector<char> piece(size_t(4) << 20);
    uint32_t state = 0x12345678;
    for (uint64_t left = data_size; left > 0 && out;) {
        const size_t n = size_t(std::min<uint64_t>(left, piece.size()));
        for (size_t i = 0; i < n; ++i) {
            state = state * 1664525u + 1013904223u;
            piece[i] = char(state >> 24);
        }
        out.write(piece.data(), std::streamsize(n));
        left -= n;
    }
    return bool(out.flush());
}

// Sums modulo 2^32: touches every sample like any real consumer would, while
// a widening 64-bit sum would cost more than the reader itself on SSE2.
struct Consumer {
    uint32_t channels = 0;
    uint32_t total = 0;
};

bool consume(void* context, const int32_t* const* planes, uint32_t frames) {
    auto* c = static_cast<Consumer*>(context);
    uint32_t total = 0;
    for (uint32_t ch = 0; ch < c->channels; ++ch) {
        const int32_t* p = planes[ch];
        for (uint32_t i = 0; i < frames; ++i) {
            total += uint32_t(p[i]);
        }
    }
    c->total += total;
    return true;
}

bool read_once(const std::filesystem::path& path, uint32_t channels, double& seconds,
               uint32_t& total) {
    qv::AudioFormat format;
    Consumer consumer{channels, 0};
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = qv::read_wav_input(path, format, consume, &consumer, error);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    total = consumer.total;
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", path.string().c_str(), error.c_str());
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: wav_reader_bench FOLDER [RUNS]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const BenchFile files[] = {{"stereo16.wav", 2, 16}, {"surround24.wav", 6, 24}};
    for (const BenchFile& bench_file : files) {
        const std::filesystem::path path = folder / bench_file.name;
        if (!std::filesystem::exists(path) && !create_file(path, bench_file)) {
            std::fprintf(stderr, "could not create %s\n", path.string().c_str());
            return 1;
        }
        const double gib = double(std::filesystem::file_size(path)) / double(uint64_t(1) << 30);
        double seconds = 0;
        uint32_t total = 0;
        if (!read_once(path, bench_file.channels, seconds, total)) {  // warms the page cache
            return 1;
        }
        std::vector<double> rates;
        for (int r = 0; r < runs; ++r) {
            if (!read_once(path, bench_file.channels, seconds, total)) {
                return 1;
            }
            rates.push_back(gib / seconds);
        }
        std::sort(rates.begin(), rates.end());
        std::printf(
            "%-16s %u ch %2u-bit  %.2f GiB  median %.2f GiB/s  (min %.2f, max %.2f, sum %08x)\n",
            bench_file.name, bench_file.channels, bench_file.bits, gib, rates[rates.size() / 2],
            rates.front(), rates.back(), static_cast<unsigned>(total));
    }
    return 0;
}
