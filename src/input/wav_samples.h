#pragma once
// Unpacks one block of interleaved little-endian WAV PCM into planar 32-bit
// samples, right-justified and sign-extended.
#include <cstdint>

namespace qv {

// Unpacks `frames` frames from `raw` into planes[0..channels-1]. `raw` must
// hold kWavUnpackSlack readable bytes beyond the last frame: 24-bit samples
// are loaded as whole 32-bit words, so the last one reaches one byte further.
using WavBlockUnpacker = void (*)(const uint8_t* raw, uint32_t frames, int32_t* const* planes);

// Extra bytes the raw block buffer needs beyond its frames for the unpackers.
inline constexpr uint32_t kWavUnpackSlack = 1;

// The unpacker for one accepted (container, valid bits, channels) triple:
// containers 16 (valid 16), 24 (valid 16, 20, 24) and 32 (valid 16, 20, 24,
// 32), 1 to 8 channels. Null for anything else.
WavBlockUnpacker select_wav_unpacker(uint32_t container_bits, uint32_t valid_bits,
                                     uint32_t channels);

}  // namespace qv
