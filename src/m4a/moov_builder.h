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

// Whole milliseconds of `frames` at `rate`, rounded up, so that a player that
// stops at the movie's duration still plays every sample; 0 for rate 0 and
// for less than half a millisecond (a shorter track some players skip).
uint64_t duration_ms(uint64_t frames, uint32_t rate);

// Neighbouring packets of the same length, as the time-to-sample table lists
// them. With 4096-frame packets there are one or two runs whatever the length
// of the recording.
struct FrameRun {
    uint32_t count = 0;
    uint32_t frames = 0;  // per packet
};

// Counts one more packet of `frames`: a longer last run when it has that
// length, else a new run.
void add_packet_frames(std::vector<FrameRun>& runs, uint32_t frames);

// How the chunk offset is stored: `stco` (32 bits) or `co64` (64 bits), the
// latter for media data whose box needs a 64-bit size.
enum class ChunkOffsetBox { stco, co64 };

Bytes build_moov(const AudioFormat& format, const std::vector<uint32_t>& packet_sizes,
                 const std::vector<FrameRun>& frame_runs, uint64_t chunk_offset,
                 ChunkOffsetBox offset_box, std::span<const uint8_t> cookie, const TagSet& tags,
                 std::span<const uint8_t> artwork, uint32_t artwork_type);

}  // namespace qv
