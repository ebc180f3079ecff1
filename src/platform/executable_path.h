#pragma once
// Where the running executable lives, for finding libraries beside it.
#include <filesystem>

namespace qv::platform {

// Full path of the running executable, or an empty path when the system
// cannot tell (or the path would not fit the 32768-character limit).
std::filesystem::path executable_path();

}  // namespace qv::platform
