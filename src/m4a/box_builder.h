#pragma once
// Byte-buffer building blocks for MP4 boxes: big-endian integers, four-byte
// codes, boxes with 32-bit sizes and the 64-bit header of a box too large
// for them.
#include <cstdint>
#include <span>
#include <vector>

namespace qv {

using Bytes = std::vector<uint8_t>;

void put_u16_be(Bytes& out, uint16_t value);
void put_u32_be(Bytes& out, uint32_t value);
void put_u64_be(Bytes& out, uint64_t value);
// Appends exactly four raw bytes of `code` (no terminator).
void put_fourcc(Bytes& out, const char* code);
void append_bytes(Bytes& out, std::span<const uint8_t> bytes);

// u32 size (payload + 8), the type, the payload.
Bytes make_box(const char* type, std::span<const uint8_t> payload);
// A box whose payload starts with the version and 24 bits of flags.
Bytes make_full_box(const char* type, uint32_t flags, std::span<const uint8_t> payload,
                    uint8_t version = 0);
// The 16-byte header of a box whose size needs 64 bits: size field 1, the
// type, then the whole box's size (these 16 bytes included) as u64.
Bytes make_large_box_header(const char* type, uint64_t box_size);

}  // namespace qv
