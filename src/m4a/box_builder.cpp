#include "m4a/box_builder.h"

#include <cstddef>

#include "common/byte_order.h"

namespace qv {

namespace {

// Appends the bytes a store function writes.
template <std::size_t Size, typename Word>
void append_stored(Bytes& out, Word value, void (*store)(uint8_t*, Word)) {
    const std::size_t at = out.size();
    out.resize(at + Size);
    store(out.data() + at, value);
}

}  // namespace

void put_u16_be(Bytes& out, uint16_t value) { append_stored<2>(out, value, store_be16); }

void put_u32_be(Bytes& out, uint32_t value) { append_stored<4>(out, value, store_be32); }

void put_u64_be(Bytes& out, uint64_t value) { append_stored<8>(out, value, store_be64); }

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
