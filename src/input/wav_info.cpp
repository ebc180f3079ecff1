#include "input/wav_info.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "common/byte_order.h"
#include "input/text_encoding.h"

namespace qv {
namespace {

constexpr std::size_t info_header_size = 8;  // id and size of one sub-chunk

struct InfoField {
    const char* id;
    const char* name;  // the Vorbis comment name it stands for
};

constexpr InfoField info_fields[] = {
    {"INAM", "TITLE"},     {"IART", "ARTIST"},      {"IPRD", "ALBUM"},
    {"IGNR", "GENRE"},     {"ICRD", "DATE"},        {"ICMT", "COMMENT"},
    {"ICOP", "COPYRIGHT"}, {"ITRK", "TRACKNUMBER"}, {"IPRT", "TRACKNUMBER"},
};

const InfoField* field_of(const uint8_t* id) {
    for (const InfoField& field : info_fields) {
        if (std::memcmp(id, field.id, 4) == 0) {
            return &field;
        }
    }
    return nullptr;
}

// Writers end the text with one or more zero bytes.
std::string_view text_of(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t end = text.find('\0');
    return end == std::string_view::npos ? text : text.substr(0, end);
}

void add_field(const InfoField& field, std::string_view text, InputTags& tags) {
    if (text.empty()) {
        return;
    }
    for (InputTag& tag : tags.tags) {
        if (tag.name != field.name) {
            continue;
        }
        // A track number from IPRT gives way to one from ITRK.
        if (tag.label == "IPRT" && std::strcmp(field.id, "ITRK") == 0) {
            tag.label = field.id;
            tag.value = utf8_or_latin1(text);
        }
        return;
    }
    tags.add_tag(field.name, field.id, utf8_or_latin1(text));
}

}  // namespace

void read_info_list(const uint8_t* body, std::size_t size, InputTags& tags) {
    if (size < 4 || std::memcmp(body, "INFO", 4) != 0) {
        return;
    }
    std::size_t at = 4;
    while (size - at >= info_header_size) {
        const uint8_t* header = body + at;
        const uint32_t length = load_le32(header + 4);
        at += info_header_size;
        if (length > size - at) {
            return;
        }
        if (const InfoField* field = field_of(header)) {
            add_field(*field, text_of(body + at, length), tags);
        }
        at += length;
        // Sub-chunks are padded to an even length; a list may end without the pad.
        at = std::min<std::size_t>(at + (length & 1), size);
    }
}

}  // namespace qv
