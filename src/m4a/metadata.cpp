#include "m4a/metadata.h"

namespace qv {
namespace {

constexpr uint32_t data_type_implicit = 0;
constexpr uint32_t data_type_utf8 = 1;
constexpr uint32_t data_type_integer = 21;  // big-endian signed integer

// The namespace every tag reader expects of a freeform item: 16 bytes of
// reverse-domain text, given here as the bytes themselves.
constexpr uint8_t freeform_namespace[] = {0x63, 0x6F, 0x6D, 0x2E, 0x61, 0x70, 0x70, 0x6C,
                                          0x65, 0x2E, 0x69, 0x54, 0x75, 0x6E, 0x65, 0x73};

// An item box holding one data box: type indicator, locale 0, value. Written
// straight into the list so that a large cover is copied only once.
void put_data_item(Bytes& list, const char* code, uint32_t type_indicator,
                   std::span<const uint8_t> value) {
    const auto data_size = static_cast<uint32_t>(value.size() + 16);
    list.reserve(list.size() + data_size + 8);
    put_u32_be(list, data_size + 8);
    put_fourcc(list, code);
    put_u32_be(list, data_size);
    put_fourcc(list, "data");
    put_u32_be(list, type_indicator);
    put_u32_be(list, 0);  // locale
    append_bytes(list, value);
}

}  // namespace

void put_text_item(Bytes& list, const char* code, const std::string& text) {
    if (text.empty()) {
        return;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    put_data_item(list, code, data_type_utf8, {bytes, text.size()});
}

void put_number_pair_item(Bytes& list, const char* code, uint16_t number, uint16_t total,
                          bool disc) {
    if (number == 0 && total == 0) {
        return;
    }
    Bytes value;
    put_u16_be(value, 0);
    put_u16_be(value, number);
    put_u16_be(value, total);
    if (!disc) {
        put_u16_be(value, 0);
    }
    put_data_item(list, code, data_type_implicit, value);
}

void put_tempo_item(Bytes& list, uint16_t tempo) {
    Bytes value;
    put_u16_be(value, tempo);
    put_data_item(list, "tmpo", data_type_integer, value);
}

void put_compilation_item(Bytes& list) {
    const uint8_t value[] = {1};
    put_data_item(list, "cpil", data_type_integer, value);
}

void put_freeform_item(Bytes& list, const FreeformTag& tag) {
    if (tag.value.empty()) {
        return;
    }
    const auto* name_bytes = reinterpret_cast<const uint8_t*>(tag.name.data());
    const auto* value_bytes = reinterpret_cast<const uint8_t*>(tag.value.data());
    Bytes body = make_full_box("mean", 0, {freeform_namespace, sizeof freeform_namespace});
    append_bytes(body, make_full_box("name", 0, {name_bytes, tag.name.size()}));
    Bytes data;
    put_u32_be(data, data_type_utf8);
    put_u32_be(data, 0);  // locale
    append_bytes(data, {value_bytes, tag.value.size()});
    append_bytes(body, make_box("data", data));
    append_bytes(list, make_box("----", body));
}

void put_cover_item(Bytes& list, std::span<const uint8_t> image, uint32_t type_code) {
    put_data_item(list, "covr", type_code, image);
}

Bytes build_udta(const TagSet& tags, std::span<const uint8_t> artwork, uint32_t artwork_type) {
    Bytes items;
    // 0xA9 is a single byte; the split literals keep the letters out of the
    // hex escape.
    put_text_item(items,
                  "\xA9"
                  "nam",
                  tags.title);
    put_text_item(items,
                  "\xA9"
                  "ART",
                  tags.artist);
    put_text_item(items,
                  "\xA9"
                  "alb",
                  tags.album);
    put_text_item(items, "aART", tags.album_artist);
    put_text_item(items,
                  "\xA9"
                  "gen",
                  tags.genre);
    put_text_item(items,
                  "\xA9"
                  "day",
                  tags.date);
    put_text_item(items,
                  "\xA9"
                  "cmt",
                  tags.comment);
    put_text_item(items,
                  "\xA9"
                  "wrt",
                  tags.composer);
    put_text_item(items,
                  "\xA9"
                  "lyr",
                  tags.lyrics);
    put_text_item(items, "cprt", tags.copyright);
    put_text_item(items,
                  "\xA9"
                  "too",
                  tags.encoder);
    put_number_pair_item(items, "trkn", tags.track_number, tags.track_total, false);
    put_number_pair_item(items, "disk", tags.disc_number, tags.disc_total, true);
    put_text_item(items,
                  "\xA9"
                  "grp",
                  tags.grouping);
    if (tags.has_tempo) {
        put_tempo_item(items, tags.tempo);
    }
    if (tags.compilation) {
        put_compilation_item(items);
    }
    put_text_item(items, "sonm", tags.title_sort);
    put_text_item(items, "soar", tags.artist_sort);
    put_text_item(items, "soal", tags.album_sort);
    put_text_item(items, "soaa", tags.album_artist_sort);
    put_text_item(items, "soco", tags.composer_sort);
    for (const FreeformTag& tag : tags.freeform) {
        put_freeform_item(items, tag);
    }
    if (!artwork.empty() &&
        (artwork_type == artwork_type_jpeg || artwork_type == artwork_type_png)) {
        put_cover_item(items, artwork, artwork_type);
    }
    if (items.empty()) {
        return {};
    }

    Bytes handler;
    put_u32_be(handler, 0);  // pre-defined
    put_fourcc(handler, "mdir");
    put_fourcc(handler, "appl");
    put_u32_be(handler, 0);
    put_u32_be(handler, 0);
    handler.push_back(0);  // empty name

    // Each wrapped child is released at once: with a large cover no more than
    // two copies of it exist here at any time.
    Bytes ilst = make_box("ilst", items);
    items = Bytes();
    Bytes meta = make_full_box("hdlr", 0, handler);
    append_bytes(meta, ilst);
    ilst = Bytes();
    Bytes meta_box = make_full_box("meta", 0, meta);
    meta = Bytes();
    return make_box("udta", meta_box);
}

}  // namespace qv
