#pragma once
// Tag text of unknown encoding turned into UTF-8.
#include <string>
#include <string_view>

namespace qv {

// The bytes unchanged when they are valid UTF-8, else read as Latin-1.
std::string utf8_or_latin1(std::string_view bytes);

}  // namespace qv
