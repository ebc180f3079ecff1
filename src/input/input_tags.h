#pragma once
// The tags and the cover picture an input file carries, as its reader found
// them; the conversion decides which of them reach the output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// One tag value. Tags are named as in a Vorbis comment (TITLE, TRACKNUMBER,
// ...); a reader of another format names its own fields that way and keeps
// their own names for the messages.
struct InputTag {
    std::string name;   // the Vorbis comment name, as written in the file
    std::string label;  // the name the file uses, for messages and freeform items
    std::string value;  // UTF-8
};

inline constexpr uint32_t front_cover_picture = 3;  // the picture type of a front cover

struct InputTags {
    std::vector<InputTag> tags;  // in file order
    // The front cover if the file has one, else its first picture.
    std::vector<uint8_t> picture;
    bool picture_seen = false;
    bool front_cover_seen = false;

    void add_tag(std::string name, std::string label, std::string value);
    // Keeps the picture when it is the first, or the first front cover.
    void offer_picture(uint32_t type, const uint8_t* data, std::size_t size);
};

}  // namespace qv
