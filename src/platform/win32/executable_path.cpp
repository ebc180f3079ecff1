#include "platform/executable_path.h"

#include "platform/win32/module_file_name.h"

namespace qv::platform {

std::filesystem::path executable_path() { return win32::module_file_name(nullptr); }

}  // namespace qv::platform
