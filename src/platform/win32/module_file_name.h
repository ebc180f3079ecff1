#pragma once
// The file a loaded module (or, for null, the executable) was mapped from.
#include <filesystem>

namespace qv::platform::win32 {

// Empty when the system cannot tell or the name would not fit the
// 32768-character limit of the wide API.
std::filesystem::path module_file_name(void* module);

}  // namespace qv::platform::win32
