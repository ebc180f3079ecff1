#include "app/tag_merge.h"

#include "app/artwork_file.h"
#include "app/input_tag_fields.h"

namespace qv {
namespace {

struct TextField {
    std::string TagSet::*member;
    TagField field;
};

constexpr TextField text_fields[] = {
    {&TagSet::title, TagField::title},     {&TagSet::artist, TagField::artist},
    {&TagSet::album, TagField::album},     {&TagSet::album_artist, TagField::album_artist},
    {&TagSet::genre, TagField::genre},     {&TagSet::date, TagField::date},
    {&TagSet::comment, TagField::comment}, {&TagSet::composer, TagField::composer},
    {&TagSet::lyrics, TagField::lyrics},   {&TagSet::copyright, TagField::copyright},
};

struct NumberField {
    uint16_t TagSet::*member;
    TagField field;
};

constexpr NumberField number_fields[] = {
    {&TagSet::track_number, TagField::track_number},
    {&TagSet::track_total, TagField::track_total},
    {&TagSet::disc_number, TagField::disc_number},
    {&TagSet::disc_total, TagField::disc_total},
};

}  // namespace

MergedTags merge_tags(const CliOptions& options, const InputTags& input) {
    MergedTags merged;
    if (options.no_input_tags) {
        merged.tags = options.tags;
        return merged;
    }
    // The input's fields, each option laid over its own; the encoder item
    // and the artwork file are always the command line's.
    merged.tags = tags_from_input(input, merged.unusable);
    const GivenTags& given = options.given_tags;
    // A value set without its flag (options built by a program, not parsed)
    // counts as given too.
    for (const TextField& text : text_fields) {
        if (given.has(text.field) || !(options.tags.*text.member).empty()) {
            merged.tags.*text.member = options.tags.*text.member;
        }
    }
    for (const NumberField& number : number_fields) {
        if (given.has(number.field) || options.tags.*number.member != 0) {
            merged.tags.*number.member = options.tags.*number.member;
        }
    }
    merged.tags.encoder = options.tags.encoder;
    merged.tags.artwork_path = options.tags.artwork_path;

    const uint32_t type = artwork_type_of(input.picture);
    if (!given.has(TagField::artwork) && options.tags.artwork_path.empty() && type != 0 &&
        input.picture.size() <= artwork_size_limit) {
        merged.picture = input.picture;
        merged.picture_type = type;
    }
    return merged;
}

}  // namespace qv
