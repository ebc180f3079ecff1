#include "input/wav_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "input/wav_reader.h"

namespace qv::test {

void put_u16(Bytes& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put_u32(Bytes& out, uint32_t value) {
    put_u16(out, uint16_t(value));
    put_u16(out, uint16_t(value >> 16));
}

void put_u64(Bytes& out, uint64_t value) {
    put_u32(out, uint32_t(value));
    put_u32(out, uint32_t(value >> 32));
}

void put_id(Bytes& out, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) {
        out.push_back(i < id.size() ? uint8_t(id[i]) : uint8_t(' '));
    }
}

FmtFields pcm_fmt(uint16_t channels, uint16_t bits, uint32_t sample_rate) {
    FmtFields f;
    f.channels = channels;
    f.sample_rate = sample_rate;
    f.block_align = uint16_t(channels * (bits / 8));
    f.byte_rate = sample_rate * f.block_align;
    f.bits_per_sample = bits;
    f.valid_bits = bits;
    f.extension_size = 0;
    f.channel_mask = 0;
    return f;
}

FmtFields extensible_fmt(uint16_t channels, uint16_t container_bits, uint16_t valid_bits,
                         uint32_t sample_rate) {
    FmtFields f = pcm_fmt(channels, container_bits, sample_rate);
    f.format_tag = 0xFFFE;
    f.extension_size = 22;
    f.valid_bits = valid_bits;
    f.channel_mask = (1u << channels) - 1;
    f.size = 40;
    return f;
}

Bytes fmt_body(const FmtFields& f) {
    static const uint8_t guid_tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                          0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Bytes out;
    put_u16(out, f.format_tag);
    put_u16(out, f.channels);
    put_u32(out, f.sample_rate);
    put_u32(out, f.byte_rate);
    put_u16(out, f.block_align);
    put_u16(out, f.bits_per_sample);
    put_u16(out, f.extension_size);
    put_u16(out, f.valid_bits);
    put_u32(out, f.channel_mask);
    put_u32(out, f.sub_format);
    out.insert(out.end(), guid_tail, guid_tail + sizeof guid_tail);
    out.resize(f.size);
    return out;
}

Bytes ds64_body(uint64_t riff_size, uint64_t data_size, uint64_t sample_count, uint32_t size) {
    Bytes out;
    put_u64(out, riff_size);
    put_u64(out, data_size);
    put_u64(out, sample_count);
    put_u32(out, 0);
    out.resize(size);
    return out;
}

Bytes pcm_bytes(const std::vector<int32_t>& interleaved, unsigned container_bits,
                unsigned valid_bits, uint32_t padding) {
    const unsigned shift = container_bits - valid_bits;
    const uint32_t pad_mask = shift == 0 ? 0 : (1u << shift) - 1;
    Bytes out;
    for (int32_t sample : interleaved) {
        const uint32_t word = (uint32_t(sample) << shift) | (padding & pad_mask);
        for (unsigned b = 0; b < container_bits / 8; ++b) {
            out.push_back(uint8_t(word >> (8 * b)));
        }
    }
    return out;
}

WavFile::WavFile(const std::string& form, const std::string& type) {
    put_id(bytes_, form);
    put_u32(bytes_, 0);
    put_id(bytes_, type);
}

WavFile& WavFile::chunk(const std::string& id, const Bytes& body) {
    chunk(id, uint32_t(body.size()), body);
    if (body.size() % 2 != 0) {
        bytes_.push_back(0);
    }
    return *this;
}

WavFile& WavFile::chunk(const std::string& id, uint32_t declared_size, const Bytes& body) {
    put_id(bytes_, id);
    put_u32(bytes_, declared_size);
    return raw(body);
}

WavFile& WavFile::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

WavFile& WavFile::form_size(uint32_t size) {
    for (int i = 0; i < 4; ++i) {
        bytes_[4 + i] = uint8_t(size >> (8 * i));
    }
    form_size_set_ = true;
    return *this;
}

Bytes WavFile::bytes() const {
    Bytes out = bytes_;
    if (!form_size_set_) {
        const bool rf64 = std::equal(out.begin(), out.begin() + 4, "RF64");
        const uint32_t size = rf64 ? 0xFFFFFFFFu : uint32_t(out.size() - 8);
        for (int i = 0; i < 4; ++i) {
            out[4 + i] = uint8_t(size >> (8 * i));
        }
    }
    return out;
}

void WavFile::write(const std::filesystem::path& path) const { write_file(path, bytes()); }

WavFile simple_wav(const FmtFields& fmt, const Bytes& data) {
    WavFile file;
    file.chunk("fmt ", fmt_body(fmt)).chunk("data", data);
    return file;
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("could not write test file " + path.string());
    }
}

WavRun run_wav_reader(const Bytes& file, size_t refuse_call) {
    const std::filesystem::path path = test_directory() / "input.wav";
    write_file(path, file);
    return run_wav_reader_on(path, refuse_call);
}

WavRun run_wav_reader(const WavFile& file, size_t refuse_call) {
    return run_wav_reader(file.bytes(), refuse_call);
}

WavRun run_wav_reader_on(const std::filesystem::path& path, size_t refuse_call) {
    WavRun run;
    run.recorder.format = &run.format;
    run.recorder.refuse_call = refuse_call;
    run.error = "stale text";
    run.ok = read_wav_input(path, run.format, &PcmRecorder::consume, &run.recorder, run.error);
    return run;
}

void expect_header_failure(const WavRun& run, const std::string& message) {
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.error, message);
    EXPECT_TRUE(run.recorder.blocks.empty());
    EXPECT_TRUE(PcmRecorder::same(run.format, kUntouchedFormat));
}

std::filesystem::path test_directory() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir =
        std::filesystem::path(RO_ZOZA_TEST_TMP) / "input" / info->test_suite_name();
    dir /= info->name();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace qv::test
