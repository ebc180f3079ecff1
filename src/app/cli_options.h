#pragma once
// Everything the command line says about one conversion.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "m4a/tag_set.h"

namespace qv {

// The metadata fields an option can set.
enum class TagField : unsigned {
    title,
    artist,
    album,
    album_artist,
    genre,
    date,
    comment,
    composer,
    lyrics,
    copyright,
    encoder,
    track_number,
    track_total,
    disc_number,
    disc_total,
    artwork,
};

// Which fields the command line set, so that each option replaces the input
// file's value for its own field only.
struct GivenTags {
    uint32_t bits = 0;
    void set(TagField field) { bits |= 1u << static_cast<unsigned>(field); }
    bool has(TagField field) const { return (bits >> static_cast<unsigned>(field) & 1u) != 0; }
};

struct CliOptions {
    std::filesystem::path input_path;
    std::filesystem::path output_path;
    bool fast = false;
    bool overwrite = false;
    bool quiet = false;
    bool profile = false;
    bool verify = false;
    bool standard_input = false;  // the input is "-": WAV/RF64 from standard input
    bool ignore_length = false;   // read WAV audio to the end, whatever its data size says
    bool no_input_tags = false;   // copy no tags or cover art from the input
    TagSet tags;
    // Many files: with an output folder every positional argument is an input
    // file or a folder of them, each converted into the output folder.
    std::filesystem::path output_dir;
    std::vector<std::filesystem::path> inputs;
    std::vector<std::string> input_texts;  // the inputs as given, for messages
    // Files (with -d) converted at once; 0 means one per logical processor.
    unsigned threads = 1;
    bool threads_given = false;
    GivenTags given_tags;
};

}  // namespace qv
