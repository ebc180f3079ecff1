#pragma once
// The input file's tags, named as Vorbis comments, turned into the fields of
// the item list they become.
#include <string>
#include <vector>

#include "input/input_tags.h"
#include "m4a/tag_set.h"

namespace qv {

// Names compare without regard to case; the values of one name are joined
// with "; " in file order. The encoder field stays empty (the program names
// itself), and the names of tags whose numbers cannot be used are added to
// `unusable`, as the file writes them.
TagSet tags_from_input(const InputTags& input, std::vector<std::string>& unusable);

}  // namespace qv
