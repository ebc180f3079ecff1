#include "alac/common/bit_writer.h"

namespace qv {

void bit_writer_init(BitWriter& writer, uint8_t* buffer, uint32_t capacity) {
    writer.cur = buffer;
    writer.end = buffer + capacity;
    writer.bit_index = 0;
    writer.byte_size = capacity;
}

void write_bits(BitWriter& writer, uint32_t value, uint32_t count) {
    uint8_t* cur = writer.cur;
    uint32_t used = writer.bit_index;
    while (count > 0) {
        const uint32_t room = 8 - used;
        const uint32_t take = room < count ? room : count;
        count -= take;
        // The next `take` bits of the value, placed just below the used bits.
        const uint32_t chunk = (value >> count) & ((1u << take) - 1);
        const uint32_t shift = room - take;
        const uint32_t mask = ((1u << take) - 1) << shift;
        *cur = static_cast<uint8_t>((*cur & ~mask) | (chunk << shift));
        used += take;
        if (used == 8) {
            ++cur;
            used = 0;
        }
    }
    writer.cur = cur;
    writer.bit_index = used;
}

void byte_align(BitWriter& writer) {
    if (writer.bit_index != 0) write_bits(writer, 0, 8 - writer.bit_index);
}

uint32_t bit_position(const BitWriter& writer) {
    const uint8_t* start = writer.end - writer.byte_size;
    return static_cast<uint32_t>(writer.cur - start) * 8 + writer.bit_index;
}

}  // namespace qv
