#include "app/input_tag_fields.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace qv {
namespace {

constexpr const char* value_separator = "; ";

// Tags that describe the file's own encoding, which the output does not share.
constexpr std::string_view encoding_names[] = {"ENCODER", "ENCODED_BY", "ENCODERSETTINGS",
                                               "WAVEFORMATEXTENSIBLE_CHANNEL_MASK"};

// All values of one name, in the order of the file.
struct Field {
    std::string name;   // upper case
    std::string label;  // as first written
    std::string value;  // the non-empty values joined
    bool used = false;  // became (or was passed over for) an item of its own
};

std::string upper_ascii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

std::vector<Field> gather(const InputTags& input) {
    std::vector<Field> fields;
    std::unordered_map<std::string, std::size_t> index;  // a file may hold many comments
    for (const InputTag& tag : input.tags) {
        std::string name = upper_ascii(tag.name);
        const auto [slot, added] = index.try_emplace(name, fields.size());
        if (added) {
            fields.push_back(Field{std::move(name), tag.label, {}, false});
        }
        Field* field = &fields[slot->second];
        if (tag.value.empty()) {
            continue;
        }
        if (!field->value.empty()) {
            field->value += value_separator;
        }
        field->value += tag.value;
    }
    return fields;
}

// The decimal number 0..65535, spaces around it allowed.
std::optional<uint16_t> parse_number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + uint32_t(c - '0');
        if (value > 0xFFFF) {
            return std::nullopt;
        }
    }
    return static_cast<uint16_t>(value);
}

class FieldTable {
public:
    FieldTable(std::vector<Field> fields, std::vector<std::string>& unusable)
        : fields_(std::move(fields)), unusable_(unusable) {}

    // The first of the names present with a value; every one of them counts
    // as taken, so the others do not turn into freeform items.
    Field* take(std::initializer_list<std::string_view> names) {
        Field* chosen = nullptr;
        for (const std::string_view name : names) {
            for (Field& field : fields_) {
                if (field.name != name) {
                    continue;
                }
                field.used = true;
                if (chosen == nullptr && !field.value.empty()) {
                    chosen = &field;
                }
            }
        }
        return chosen;
    }

    void text(std::string& target, std::initializer_list<std::string_view> names) {
        if (const Field* field = take(names)) {
            target = field->value;
        }
    }

    std::optional<uint16_t> number(std::initializer_list<std::string_view> names) {
        const Field* field = take(names);
        if (field == nullptr) {
            return std::nullopt;
        }
        const std::optional<uint16_t> value = parse_number(field->value);
        if (!value) {
            unusable_.push_back(field->label);
        }
        return value;
    }

    // "n" or "n/total"; a total field of its own wins over the one after
    // the slash.
    void number_pair(uint16_t& pair_number, uint16_t& pair_total, std::string_view number_name,
                     std::initializer_list<std::string_view> total_names) {
        if (const Field* field = take({number_name})) {
            const std::size_t slash = field->value.find('/');
            const std::optional<uint16_t> parsed =
                parse_number(std::string_view(field->value).substr(0, slash));
            std::optional<uint16_t> parsed_total;
            if (slash != std::string::npos) {
                parsed_total = parse_number(std::string_view(field->value).substr(slash + 1));
            }
            if (parsed && (slash == std::string::npos || parsed_total)) {
                pair_number = *parsed;
                pair_total = parsed_total.value_or(0);
            } else {
                unusable_.push_back(field->label);
            }
        }
        if (const std::optional<uint16_t> own_total = number(total_names)) {
            pair_total = *own_total;
        }
    }

    void flag(bool& target, std::string_view name) {
        const Field* field = take({name});
        if (field == nullptr) {
            return;
        }
        const std::optional<uint16_t> value = parse_number(field->value);
        if (value && *value <= 1) {
            target = *value == 1;
        } else {
            unusable_.push_back(field->label);
        }
    }

    void drop(std::string_view name) { take({name}); }

    void freeform(std::vector<FreeformTag>& items) const {
        for (const Field& field : fields_) {
            if (!field.used && !field.value.empty()) {
                items.push_back({field.label, field.value});
            }
        }
    }

private:
    std::vector<Field> fields_;
    std::vector<std::string>& unusable_;
};

}  // namespace

TagSet tags_from_input(const InputTags& input, std::vector<std::string>& unusable) {
    TagSet tags;
    tags.encoder.clear();
    FieldTable table(gather(input), unusable);
    table.text(tags.title, {"TITLE"});
    table.text(tags.artist, {"ARTIST"});
    table.text(tags.album, {"ALBUM"});
    table.text(tags.album_artist, {"ALBUMARTIST", "ALBUM ARTIST"});
    table.text(tags.genre, {"GENRE"});
    table.text(tags.date, {"DATE", "YEAR"});
    table.text(tags.comment, {"COMMENT", "DESCRIPTION"});
    table.text(tags.composer, {"COMPOSER"});
    table.text(tags.lyrics, {"LYRICS", "UNSYNCEDLYRICS"});
    table.text(tags.copyright, {"COPYRIGHT"});
    table.number_pair(tags.track_number, tags.track_total, "TRACKNUMBER",
                      {"TRACKTOTAL", "TOTALTRACKS"});
    table.number_pair(tags.disc_number, tags.disc_total, "DISCNUMBER", {"DISCTOTAL", "TOTALDISCS"});
    table.text(tags.grouping, {"GROUPING"});
    if (const std::optional<uint16_t> tempo = table.number({"BPM"})) {
        tags.tempo = *tempo;
        tags.has_tempo = true;
    }
    table.flag(tags.compilation, "COMPILATION");
    table.text(tags.title_sort, {"TITLESORT"});
    table.text(tags.artist_sort, {"ARTISTSORT"});
    table.text(tags.album_sort, {"ALBUMSORT"});
    table.text(tags.album_artist_sort, {"ALBUMARTISTSORT"});
    table.text(tags.composer_sort, {"COMPOSERSORT"});
    for (const std::string_view name : encoding_names) {
        table.drop(name);
    }
    table.freeform(tags.freeform);
    return tags;
}

}  // namespace qv
