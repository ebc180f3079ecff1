#include "input/input_tags.h"

#include <utility>

namespace qv {

void InputTags::add_tag(std::string name, std::string label, std::string value) {
    tags.push_back({std::move(name), std::move(label), std::move(value)});
}

void InputTags::offer_picture(uint32_t type, const uint8_t* data, std::size_t size) {
    const bool front_cover = type == front_cover_picture;
    if (front_cover_seen || (picture_seen && !front_cover)) {
        return;
    }
    picture.assign(data, data + size);
    picture_seen = true;
    front_cover_seen = front_cover;
}

}  // namespace qv
