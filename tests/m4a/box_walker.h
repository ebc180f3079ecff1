#pragma once
// A small MP4 box reader for the tests: lists children, finds boxes by path
// and reads big-endian fields, independently of the code that writes them.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace qv::test {

using ByteVec = std::vector<uint8_t>;

struct Box {
    std::string type;
    std::size_t offset = 0;
    std::size_t size = 0;
};

inline uint32_t u32_at(const ByteVec& d, std::size_t at) {
    return (uint32_t{d.at(at)} << 24) | (uint32_t{d.at(at + 1)} << 16) |
           (uint32_t{d.at(at + 2)} << 8) | uint32_t{d.at(at + 3)};
}

inline uint64_t u64_at(const ByteVec& d, std::size_t at) {
    return (uint64_t{u32_at(d, at)} << 32) | u32_at(d, at + 4);
}

inline uint16_t u16_at(const ByteVec& d, std::size_t at) {
    return static_cast<uint16_t>((d.at(at) << 8) | d.at(at + 1));
}

inline std::string type_at(const ByteVec& d, std::size_t at) {
    return std::string(d.begin() + static_cast<std::ptrdiff_t>(at),
                       d.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

inline ByteVec bytes_of(const ByteVec& d, std::size_t at, std::size_t count) {
    return ByteVec(d.begin() + static_cast<std::ptrdiff_t>(at),
                   d.begin() + static_cast<std::ptrdiff_t>(at + count));
}

// The boxes that tile d[start, end) exactly; a failure is recorded when they
// do not. A size field of 1 means a 64-bit size after the type.
inline std::vector<Box> children(const ByteVec& d, std::size_t start, std::size_t end) {
    std::vector<Box> boxes;
    std::size_t pos = start;
    while (pos + 8 <= end) {
        uint64_t size = u32_at(d, pos);
        if (size == 1 && pos + 16 <= end) {
            size = u64_at(d, pos + 8);
        }
        if (size < 8 || pos + size > end) {
            ADD_FAILURE() << "bad box size " << size << " at " << pos;
            return boxes;
        }
        boxes.push_back({type_at(d, pos + 4), pos, size});
        pos += size;
    }
    EXPECT_EQ(pos, end) << "trailing bytes after the boxes";
    return boxes;
}

// Where the children of `box` begin: after the header, plus the version and
// flags of the full containers, the entry counts of stsd and dref, and the
// 28 bytes of sound fields of an entry inside stsd.
inline std::size_t children_start(const Box& box, const std::string& parent) {
    std::size_t skip = 8;
    if (box.type == "meta") skip += 4;
    if (box.type == "stsd" || box.type == "dref") skip += 8;
    if (parent == "stsd") skip += 28;
    return box.offset + skip;
}

inline std::vector<Box> children_of(const ByteVec& d, const Box& box, const std::string& parent) {
    return children(d, children_start(box, parent), box.offset + box.size);
}

inline std::string types_of(const std::vector<Box>& boxes) {
    std::ostringstream out;
    for (const Box& b : boxes) out << (out.tellp() > 0 ? " " : "") << b.type;
    return out.str();
}

// A box by a path such as "moov/trak/mdia/minf/stbl/stsz" (first match at
// each level).
inline std::optional<Box> find_box(const ByteVec& d, const std::string& path) {
    std::vector<Box> level = children(d, 0, d.size());
    std::string parent;
    std::optional<Box> found;
    std::istringstream parts(path);
    for (std::string name; std::getline(parts, name, '/');) {
        found.reset();
        for (const Box& b : level) {
            if (b.type == name) {
                found = b;
                break;
            }
        }
        if (!found) return std::nullopt;
        if (parts.peek() != EOF) level = children_of(d, *found, parent);
        parent = name;
    }
    return found;
}

// A box by path that must exist.
inline Box box_at(const ByteVec& d, const std::string& path) {
    std::optional<Box> b = find_box(d, path);
    EXPECT_TRUE(b.has_value()) << "no box " << path;
    return b.value_or(Box{});
}

}  // namespace qv::test
