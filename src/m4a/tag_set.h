#pragma once
// The metadata values taken from the command line, turned into item-list
// atoms when the M4A file is finalized.
#include <cstdint>
#include <filesystem>
#include <string>

namespace qv {

inline constexpr const char* default_encoder_text = "RO-ZOZA 1.0.1.0 - Orvale ALAC Encoder";

// Text fields hold the argument bytes unchanged; empty means "no item".
// A number of 0 means it was not given.
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
};

}  // namespace qv
