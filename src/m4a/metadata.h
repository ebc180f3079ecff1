#pragma once
// The udta/meta/ilst item list that carries the tags and the cover image at
// the end of moov.
#include <cstdint>
#include <span>
#include <string>

#include "m4a/box_builder.h"
#include "m4a/tag_set.h"

namespace qv {

inline constexpr uint32_t artwork_type_jpeg = 13;
inline constexpr uint32_t artwork_type_png = 14;

// The complete udta box, or an empty buffer when there is no item to write.
Bytes build_udta(const TagSet& tags, std::span<const uint8_t> artwork, uint32_t artwork_type);

// Each appends one item box to the item list; `code` is four raw bytes.
// Nothing is appended for an empty text.
void put_text_item(Bytes& list, const char* code, const std::string& text);
// Nothing is appended when both values are 0; the disc form lacks the
// trailing reserved u16.
void put_number_pair_item(Bytes& list, const char* code, uint16_t number, uint16_t total,
                          bool disc);
// tmpo: a 16-bit integer item (type indicator 21).
void put_tempo_item(Bytes& list, uint16_t tempo);
// cpil: the one-byte integer 1.
void put_compilation_item(Bytes& list);
// ----: a mean box with the freeform namespace, a name box with the tag's
// name and a text data box; nothing for an empty value.
void put_freeform_item(Bytes& list, const FreeformTag& tag);
void put_cover_item(Bytes& list, std::span<const uint8_t> image, uint32_t type_code);

}  // namespace qv
