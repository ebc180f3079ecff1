#pragma once
// The movie box: one ALAC audio track whose packets form a single chunk,
// with its sample tables and the metadata box.
#include <cstdint>
#include <span>
#include <vector>

#include "input/audio_format.h"
#include "m4a/box_builder.h"
#include "m4a/tag_set.h"

namespace qv {

// Whole milliseconds of `frames` at `rate`, rounded up; 0 for rate 0 and
// for less than half a millisecond,
// 0xFFFFFFFF when it does not fit in 32 bits.
uint32_t duration_ms(uint64_t frames, uint32_t rate);

Bytes build_moov(const AudioFormat& format, const std::vector<uint32_t>& packet_sizes,
                 const std::vector<uint32_t>& packet_frames, uint64_t chunk_offset,
                 std::span<const uint8_t> cookie, const TagSet& tags,
                 std::span<const uint8_t> artwork, uint32_t artwork_type);

}  // namespace qv
