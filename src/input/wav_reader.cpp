// RIFF WAVE / RF64 reader: walks the chunks up to the first data chunk,
// validates the fmt chunk, then streams the data chunk in 4096-frame blocks.
// The input is read strictly front to back, never seeked, so that a pipe
// reads like a file.
#include "input/wav_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "input/stream_reader.h"
#include "input/wav_info.h"
#include "input/wav_samples.h"
#include "platform/input_file.h"

namespace qv {
namespace {

constexpr uint32_t kBlockFrames = 4096;
constexpr uint32_t kMaxChannels = 8;
constexpr uint32_t kMaxFmtSize = 65536;
constexpr uint32_t kMinDs64Size = 28;
constexpr uint32_t kDs64ReadSize = 64;
constexpr uint32_t kExtensibleFmtSize = 40;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kRf64SizePlaceholder = 0xFFFFFFFF;
// A LIST chunk is read for its tags only up to this size; a larger one is
// passed over like any other chunk.
constexpr uint32_t kMaxListSize = 1 << 20;

// Planes sit this many samples apart beyond their 4096: keeps the eight
// output streams of a block off the same cache sets.
constexpr size_t kPlaneStride = kBlockFrames + 16;

constexpr const char* kOpenFailed = "could not open WAV/RF64 input";
constexpr const char* kNotWave = "input is not a RIFF/RF64 WAVE file";
constexpr const char* kDs64Invalid = "RF64 ds64 chunk is invalid";
constexpr const char* kDs64Truncated = "truncated RF64 ds64 chunk";
constexpr const char* kFmtTooLarge = "WAV fmt chunk is unreasonably large";
constexpr const char* kFmtTruncated = "truncated WAV fmt chunk";
constexpr const char* kFmtTooShort = "WAV fmt chunk is too short";
constexpr const char* kExtensibleIncomplete = "WAVEFORMATEXTENSIBLE fmt chunk is incomplete";
constexpr const char* kExtensibleNotInteger = "WAVEFORMATEXTENSIBLE input is not integer PCM";
constexpr const char* kNotIntegerPcm = "WAV input is not integer PCM";
constexpr const char* kBadChannels = "WAV channel count must be between 1 and 8";
constexpr const char* kBadSampleRate = "WAV sample rate is invalid";
constexpr const char* kBadContainer = "RO-ZOZA accepts 16, 24 or 32-bit PCM containers";
constexpr const char* kBadValidBits = "RO-ZOZA accepts 16, 20, 24 or 32 valid PCM bits";
constexpr const char* kValidExceedsContainer = "WAV valid bit depth exceeds its PCM container";
constexpr const char* kBadBlockAlign = "WAV block alignment is inconsistent with its PCM format";
constexpr const char* kDataBeforeFmt = "WAV data chunk appears before fmt chunk";
constexpr const char* kNoData = "WAV/RF64 input has no usable PCM data chunk";
constexpr const char* kDataUnaligned = "WAV data size is not aligned to complete sample frames";
constexpr const char* kDataTruncated = "truncated WAV PCM data";
constexpr const char* kConsumerAbort = "WAV decode was aborted by the PCM consumer";

bool is_fourcc(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

// The values kept from the last accepted fmt chunk.
struct WavFormat {
    uint16_t channels = 0;
    uint16_t container_bits = 0;
    uint16_t valid_bits = 0;
    uint16_t block_align = 0;
    uint32_t sample_rate = 0;
};

// Reads and checks one fmt chunk of `size` bytes; null on success, else the
// message. `body` is scratch space reused across fmt chunks.
const char* parse_fmt(StreamReader& file, uint32_t size, std::vector<uint8_t>& body,
                      WavFormat& out) {
    if (size > kMaxFmtSize) {
        return kFmtTooLarge;
    }
    body.resize(size);
    if (!file.read_exact(body.data(), size)) {
        return kFmtTruncated;
    }
    if (size < 16) {
        return kFmtTooShort;
    }
    const uint8_t* p = body.data();
    const uint16_t format_tag = load_le16(p);
    const uint16_t channels = load_le16(p + 2);
    const uint32_t sample_rate = load_le32(p + 4);
    const uint16_t block_align = load_le16(p + 12);
    const uint16_t container_bits = load_le16(p + 14);
    uint16_t valid_bits = container_bits;
    if (format_tag == kFormatExtensible) {
        if (size < kExtensibleFmtSize || load_le16(p + 16) < 22) {
            return kExtensibleIncomplete;
        }
        valid_bits = load_le16(p + 18);
        if (load_le32(p + 24) != 1) {
            return kExtensibleNotInteger;
        }
    } else if (format_tag != kFormatPcm) {
        return kNotIntegerPcm;
    }
    if (channels < 1 || channels > kMaxChannels) {
        return kBadChannels;
    }
    if (sample_rate == 0) {
        return kBadSampleRate;
    }
    if (container_bits != 16 && container_bits != 24 && container_bits != 32) {
        return kBadContainer;
    }
    if (valid_bits != 16 && valid_bits != 20 && valid_bits != 24 && valid_bits != 32) {
        return kBadValidBits;
    }
    if (valid_bits > container_bits) {
        return kValidExceedsContainer;
    }
    if (block_align != channels * (container_bits / 8)) {
        return kBadBlockAlign;
    }
    out = {channels, container_bits, valid_bits, block_align, sample_rate};
    return nullptr;
}

// What the header says of the data chunk's length.
struct DataSize {
    uint64_t bytes = 0;    // the resolved size (the ds64 value for a placeholder)
    bool unknown = false;  // a writer that could not know it: 0 or 0xFFFFFFFF
};

// Walks the chunks from the end of the file header to the first data chunk,
// reading past the ones it skips, and stops at the data chunk's first byte.
// Null on success, else the message.
const char* find_data(StreamReader& file, bool rf64, WavFormat& fmt, DataSize& data_size,
                      InputTags* tags) {
    uint64_t ds64_data_size = 0;
    bool format_seen = false;
    std::vector<uint8_t> fmt_body;
    std::vector<uint8_t> list_body;
    for (;;) {
        uint8_t header[8];
        if (!file.read_exact(header, sizeof header)) {
            return kNoData;
        }
        const uint32_t size = load_le32(header + 4);
        uint32_t consumed = 0;  // bytes of the body already read
        if (is_fourcc(header, "ds64")) {
            if (size < kMinDs64Size) {
                return kDs64Invalid;
            }
            uint8_t ds64[kDs64ReadSize];
            consumed = std::min(size, kDs64ReadSize);
            if (!file.read_exact(ds64, consumed)) {
                return kDs64Truncated;
            }
            ds64_data_size = load_le64(ds64 + 8);
        } else if (is_fourcc(header, "fmt ")) {
            if (const char* message = parse_fmt(file, size, fmt_body, fmt)) {
                return message;
            }
            format_seen = true;
            consumed = size;
        } else if (is_fourcc(header, "LIST") && tags != nullptr && size <= kMaxListSize) {
            list_body.resize(size);
            // Cut short, it ends the walk as a chunk too short to skip would.
            if (!file.read_exact(list_body.data(), size)) {
                return kNoData;
            }
            read_info_list(list_body.data(), size, *tags);
            consumed = size;
        } else if (is_fourcc(header, "data")) {
            if (!format_seen) {
                return kDataBeforeFmt;
            }
            data_size.bytes = size;
            if (rf64 && size == kRf64SizePlaceholder && ds64_data_size != 0) {
                data_size.bytes = ds64_data_size;
            }
            // Writers streaming to a pipe leave 0 or 0xFFFFFFFF here (and in
            // RF64 a ds64 size of 0 behind the placeholder).
            data_size.unknown = data_size.bytes == 0 || data_size.bytes == kRf64SizePlaceholder;
            return nullptr;
        }
        // Chunk bodies are padded to an even length.
        if (!file.skip(uint64_t(size - consumed) + (size & 1))) {
            return kNoData;
        }
    }
}

// The unpacking of one block of interleaved bytes into planes, and the
// buffers it works in.
class BlockUnpacker {
public:
    explicit BlockUnpacker(const WavFormat& fmt)
        : unpack_(select_wav_unpacker(fmt.container_bits, fmt.valid_bits, fmt.channels)),
          raw_(size_t(kBlockFrames) * fmt.block_align + kWavUnpackSlack),
          samples_(kPlaneStride * fmt.channels) {
        for (uint32_t c = 0; c < fmt.channels; ++c) {
            planes_[c] = samples_.data() + c * kPlaneStride;
            table_[c] = planes_[c];
        }
    }

    uint8_t* raw() { return raw_.data(); }

    bool deliver(uint32_t frames, PcmConsumer consumer, void* context) {
        unpack_(raw_.data(), frames, planes_.data());
        return consumer(context, table_.data(), frames);
    }

private:
    WavBlockUnpacker unpack_;
    std::vector<uint8_t> raw_;
    std::vector<int32_t> samples_;
    std::array<int32_t*, kMaxChannels> planes_{};
    std::array<const int32_t*, kMaxChannels> table_{};
};

// Delivers the data chunk in blocks. Null on success, else the message.
const char* deliver(StreamReader& file, const WavFormat& fmt, uint64_t total_frames,
                    PcmConsumer consumer, void* context) {
    BlockUnpacker block(fmt);
    uint64_t remaining = total_frames;
    while (remaining > 0) {
        const uint32_t n = uint32_t(std::min<uint64_t>(remaining, kBlockFrames));
        if (!file.read_exact(block.raw(), size_t(n) * fmt.block_align)) {
            return kDataTruncated;
        }
        if (!block.deliver(n, consumer, context)) {
            return kConsumerAbort;
        }
        remaining -= n;
    }
    return nullptr;
}

// After the audio: the tags of INFO lists among the chunks that follow the
// data chunk. Whatever comes there, damaged or cut short, is only read, never
// judged, so it cannot fail the input.
void read_trailing_tags(StreamReader& file, uint64_t data_bytes, InputTags& tags) {
    if ((data_bytes & 1) != 0 && !file.skip(1)) {
        return;
    }
    std::vector<uint8_t> list_body;
    uint8_t header[8];
    while (file.read_exact(header, sizeof header)) {
        const uint32_t size = load_le32(header + 4);
        if (is_fourcc(header, "LIST") && size <= kMaxListSize) {
            list_body.resize(size);
            if (!file.read_exact(list_body.data(), size)) {
                return;
            }
            read_info_list(list_body.data(), size, tags);
            if ((size & 1) != 0 && !file.skip(1)) {
                return;
            }
        } else if (!file.skip(uint64_t(size) + (size & 1))) {
            return;
        }
    }
}

// Delivers everything up to the end of the input in blocks; bytes of an
// incomplete last sample frame are counted in `ignored_bytes`, not encoded.
const char* deliver_to_end(StreamReader& file, const WavFormat& fmt, PcmConsumer consumer,
                           void* context, uint32_t& ignored_bytes) {
    BlockUnpacker block(fmt);
    const size_t block_bytes = size_t(kBlockFrames) * fmt.block_align;
    uint64_t delivered = 0;
    for (;;) {
        size_t got = 0;
        if (!file.read_up_to(block.raw(), block_bytes, got)) {
            return kDataTruncated;
        }
        const uint32_t n = uint32_t(got / fmt.block_align);
        if (n > 0 && !block.deliver(n, consumer, context)) {
            return kConsumerAbort;
        }
        delivered += n;
        if (got < block_bytes) {
            ignored_bytes = uint32_t(got % fmt.block_align);
            return delivered == 0 ? kNoData : nullptr;
        }
    }
}

const char* read_wav(const std::filesystem::path& input_path, const WavReadOptions& options,
                     AudioFormat& format, PcmConsumer consumer, void* context,
                     uint32_t& ignored_bytes) {
    platform::InputFile input;
    if (options.standard_input) {
        input.open_standard_input();
    } else if (!input.open(input_path)) {
        return kOpenFailed;
    }
    StreamReader file(input);
    uint8_t header[12];
    if (!file.read_exact(header, sizeof header)) {
        return kNotWave;
    }
    const bool riff = is_fourcc(header, "RIFF");
    const bool rf64 = !riff && is_fourcc(header, "RF64");
    if ((!riff && !rf64) || !is_fourcc(header + 8, "WAVE")) {
        return kNotWave;
    }
    WavFormat fmt;
    DataSize data_size;
    if (const char* message = find_data(file, rf64, fmt, data_size, options.tags)) {
        return message;
    }
    // A file's sizes are its own; a stream's may say only that its writer
    // could not know the length, and then the audio runs to its end.
    const bool to_end = options.ignore_length || (data_size.unknown && !input.is_regular());
    if (!to_end && data_size.bytes == 0) {
        return kNoData;
    }
    if (!to_end && data_size.bytes % fmt.block_align != 0) {
        return kDataUnaligned;
    }
    // The format is filled in only for a data chunk that will be read.
    format.sample_rate = fmt.sample_rate;
    format.bits_per_sample = fmt.valid_bits;
    format.channels = fmt.channels;
    format.total_frames = to_end ? 0 : data_size.bytes / fmt.block_align;
    if (to_end) {
        return deliver_to_end(file, fmt, consumer, context, ignored_bytes);
    }
    if (const char* message = deliver(file, fmt, format.total_frames, consumer, context)) {
        return message;
    }
    if (options.tags != nullptr) {
        read_trailing_tags(file, data_size.bytes, *options.tags);
    }
    return nullptr;
}

}  // namespace

bool read_wav_input(const std::filesystem::path& input_path, AudioFormat& format,
                    PcmConsumer consumer, void* context, std::string& error) {
    uint32_t ignored_bytes = 0;
    return read_wav_input(input_path, WavReadOptions{}, format, consumer, context, error,
                          ignored_bytes);
}

bool read_wav_input(const std::filesystem::path& input_path, const WavReadOptions& options,
                    AudioFormat& format, PcmConsumer consumer, void* context, std::string& error,
                    uint32_t& ignored_bytes) {
    error.clear();
    ignored_bytes = 0;
    if (const char* message =
            read_wav(input_path, options, format, consumer, context, ignored_bytes)) {
        error = message;
        return false;
    }
    return true;
}

}  // namespace qv
