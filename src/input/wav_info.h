#pragma once
// The INFO list of a WAV file: a LIST chunk of type INFO whose sub-chunks
// hold the title, artist and other tags as text.
#include <cstddef>
#include <cstdint>

#include "input/input_tags.h"

namespace qv {

// Adds the tags of one LIST chunk body (its list type first) when it is an
// INFO list. The first value of each field wins, ITRK over IPRT; a damaged
// or cut list gives what it holds before the damage.
void read_info_list(const uint8_t* body, std::size_t size, InputTags& tags);

}  // namespace qv
