#pragma once
// Big- and little-endian loads and stores of whole words and of the 3-byte
// sample container, whatever the host's byte order: the one place the
// codec, the WAV reader and the MP4 box builder take them from.
#include <bit>
#include <cstdint>
#include <cstring>

namespace qv {

// A four-character code as the big-endian word it is stored as.
inline constexpr uint32_t fourcc(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

inline uint32_t load_be32(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    return w;
}

inline uint64_t load_be64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
}

inline void store_be32(uint8_t* p, uint32_t w) {
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    std::memcpy(p, &w, 4);
}

inline void store_be64(uint8_t* p, uint64_t w) {
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    std::memcpy(p, &w, 8);
}

inline void store_be16(uint8_t* p, uint16_t w) {
    p[0] = uint8_t(w >> 8);
    p[1] = uint8_t(w);
}

inline uint16_t load_le16(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint16_t w;
        std::memcpy(&w, p, 2);
        return w;
    } else {
        return uint16_t(p[0] | (p[1] << 8));
    }
}

inline uint32_t load_le32(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    } else {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
               (uint32_t(p[3]) << 24);
    }
}

inline uint64_t load_le64(const uint8_t* p) {
    return uint64_t(load_le32(p)) | (uint64_t(load_le32(p + 4)) << 32);
}

// A signed little-endian 3-byte container, sign-extended.
inline int32_t load_s24_le(const uint8_t* p) {
    return int32_t((uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24)) >> 8;
}

}  // namespace qv
