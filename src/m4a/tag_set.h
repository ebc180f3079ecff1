#pragma once
// The metadata values taken from the command line, turned into item-list
// atoms when the M4A file is finalized.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv {

inline constexpr const char* default_encoder_text = "RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder";

// A tag without an item of its own, stored as a freeform item under the
// name it had in the input.
struct FreeformTag {
    std::string name;
    std::string value;
};

// Text fields hold the argument bytes unchanged; empty means "no item".
// A number of 0 means it was not given. The fields after the artwork path
// come only from the input file's own tags.
struct TagSet {
    std::string title;
    std::string artist;
    std::string album;
    std::string album_artist;
    std::string genre;
    std::string date;
    std::string comment;
    std::string composer;
    std::string lyrics;
    std::string copyright;
    std::string encoder = default_encoder_text;
    uint16_t track_number = 0;
    uint16_t track_total = 0;
    uint16_t disc_number = 0;
    uint16_t disc_total = 0;
    std::filesystem::path artwork_path;
    std::string grouping;
    uint16_t tempo = 0;
    bool has_tempo = false;  // a tempo of 0 is a value too
    bool compilation = false;
    std::string title_sort;
    std::string artist_sort;
    std::string album_sort;
    std::string album_artist_sort;
    std::string composer_sort;
    std::vector<FreeformTag> freeform;  // in the input's order
};

}  // namespace qv
