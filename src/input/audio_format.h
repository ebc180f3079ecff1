#pragma once
// The PCM stream description that every input reader fills, and the push
// contract between a reader and the consumer of its samples.
#include <cstdint>

namespace qv {

struct AudioFormat {
    uint32_t sample_rate = 0;      // frames per second; never 0 once accepted
    uint32_t bits_per_sample = 0;  // significant bits: 16, 20, 24 or 32
    uint32_t channels = 0;         // 1..8
    uint64_t total_frames = 0;     // declared frame count (FLAC: 0 when unknown)
};

// Receives one block of planar PCM: `channels` pointers, each to `frames`
// samples right-justified and sign-extended to 32 bits, valid only during the
// call. Returns false to stop the reader. A plain function pointer so that it
// can travel through a C library's client-data pointer.
using PcmConsumer = bool (*)(void* context, const int32_t* const* channels, uint32_t frames);

}  // namespace qv
