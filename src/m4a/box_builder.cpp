#include "m4a/box_builder.h"

#include <cstddef>

namespace qv {

void put_u16_be(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put_u32_be(Bytes& out, uint32_t value) {
    put_u16_be(out, static_cast<uint16_t>(value >> 16));
    put_u16_be(out, static_cast<uint16_t>(value));
}

void put_u64_be(Bytes& out, uint64_t value) {
    put_u32_be(out, static_cast<uint32_t>(value >> 32));
    put_u32_be(out, static_cast<uint32_t>(value));
}

void put_fourcc(Bytes& out, const char* code) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(code[i]));
    }
}

void append_bytes(Bytes& out, std::span<const uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

namespace {

Bytes box_header(const char* type, std::size_t box_size) {
    Bytes box;
    box.reserve(box_size);
    put_u32_be(box, static_cast<uint32_t>(box_size));
    put_fourcc(box, type);
    return box;
}

}  // namespace

Bytes make_box(const char* type, std::span<const uint8_t> payload) {
    Bytes box = box_header(type, payload.size() + 8);
    append_bytes(box, payload);
    return box;
}

Bytes make_full_box(const char* type, uint32_t flags, std::span<const uint8_t> payload,
                    uint8_t version) {
    Bytes box = box_header(type, payload.size() + 12);
    put_u32_be(box, (uint32_t{version} << 24) | (flags & 0x00FFFFFFu));
    append_bytes(box, payload);
    return box;
}

Bytes make_large_box_header(const char* type, uint64_t box_size) {
    constexpr uint32_t size_follows_type = 1;
    Bytes header;
    put_u32_be(header, size_follows_type);
    put_fourcc(header, type);
    put_u64_be(header, box_size);
    return header;
}

}  // namespace qv
