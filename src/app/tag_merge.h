#pragma once
// The tags and cover the output gets: the input file's own, with every
// metadata option replacing the input's value for its own field.
#include <cstdint>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "input/input_tags.h"
#include "m4a/tag_set.h"

namespace qv {

struct MergedTags {
    TagSet tags;
    // The input's picture, when it is a JPEG or PNG within the artwork size
    // limit and no --artwork replaces it; empty otherwise.
    std::vector<uint8_t> picture;
    uint32_t picture_type = 0;
    std::vector<std::string> unusable;  // input tags whose values were left out
};

// The options' own tags alone with --no-input-tags.
MergedTags merge_tags(const CliOptions& options, const InputTags& input);

}  // namespace qv
