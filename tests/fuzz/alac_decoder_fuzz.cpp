// Feeds arbitrary bytes to the ALAC frame decoder as one frame. The first
// byte picks the bit depth and channel count, the second the coder
// parameters; the rest is the frame. The decoder must reject or decode it
// without reading outside the bytes, and a decoded frame must hold only
// samples of the configured depth. Decoded again with code starts taken
// from the frame's bytes, it must give the same verdict and samples.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "alac/decoder/alac_decoder.h"
#include "common/int_width.h"

namespace {

struct Params {
    uint32_t frame_length, pb, mb, kb;
};

// The stream's own constants first, then short frames and extreme coder settings.
constexpr Params param_sets[4] = {
    {4096, 40, 10, 14},
    {16, 40, 10, 14},
    {4096, 255, 0, 31},
    {1, 1, 255, 1},
};

constexpr uint32_t depths[4] = {16, 20, 24, 32};

qv::AlacDecoder* decoder_for(uint8_t layout, uint8_t params) {
    static std::unique_ptr<qv::AlacDecoder> decoders[32][4];
    auto& slot = decoders[layout & 31][params & 3];
    if (!slot) {
        const Params& p = param_sets[params & 3];
        qv::MagicCookie config;
        config.bit_depth = depths[layout & 3];
        config.channels = 1 + ((layout >> 2) & 7);
        config.frame_length = p.frame_length;
        config.pb = p.pb;
        config.mb = p.mb;
        config.kb = p.kb;
        slot = std::make_unique<qv::AlacDecoder>();
        std::string error;
        if (!slot->configure(config, error)) __builtin_trap();
    }
    return slot.get();
}

// Code starts anywhere in (or just past) the frame, from its first bytes.
qv::PairCodeStarts starts_from(const uint8_t* frame, size_t size) {
    qv::PairCodeStarts starts;
    const uint64_t range = uint64_t(size) * 8 + 2;
    for (size_t i = 0; i < 4 && 2 * i + 1 < size; ++i)
        starts.v_bits[i] =
            uint32_t(((uint32_t(frame[2 * i]) << 8) | frame[2 * i + 1]) * 2654435761u % range);
    return starts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    qv::AlacDecoder* decoder = decoder_for(data[0], data[1]);
    const qv::AlacDecodeStatus status = decoder->decode_frame(data + 2, size - 2);
    const qv::MagicCookie& config = decoder->config();
    std::vector<int32_t> samples;
    for (uint32_t c = 0; c < config.channels && status == qv::AlacDecodeStatus::ok; ++c)
        samples.insert(samples.end(), decoder->channel(c),
                       decoder->channel(c) + decoder->frame_count());
    const qv::PairCodeStarts starts = starts_from(data + 2, size - 2);
    if (decoder->decode_frame(data + 2, size - 2, &starts) != status) __builtin_trap();
    for (uint32_t c = 0, at = 0; c < config.channels && status == qv::AlacDecodeStatus::ok; ++c)
        for (uint32_t i = 0; i < decoder->frame_count(); ++i, ++at)
            if (decoder->channel(c)[i] != samples[at]) __builtin_trap();
    if (status != qv::AlacDecodeStatus::ok) {
        if (decoder->frame_count() != 0) __builtin_trap();
        return 0;
    }
    const uint32_t frames = decoder->frame_count();
    if (frames == 0 || frames > config.frame_length) __builtin_trap();
    for (uint32_t c = 0; c < config.channels; ++c) {
        const int32_t* samples = decoder->channel(c);
        for (uint32_t i = 0; i < frames; ++i)
            if (!qv::fits_bits(samples[i], config.bit_depth)) __builtin_trap();
    }
    return 0;
}
