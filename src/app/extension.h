#pragma once
// The lower-cased extension of a file name, used to choose the input reader
// and to check the output and artwork names.
#include <filesystem>
#include <string>

namespace qv {

// The last component's extension ("." and everything after the last dot,
// unless that dot starts the name) with ASCII letters lowered; empty when
// there is none or when it cannot be shown as narrow text.
std::string lowercase_extension(const std::filesystem::path& path);

}  // namespace qv
