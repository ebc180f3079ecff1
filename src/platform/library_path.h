#pragma once
// Where a loaded shared library's file really is, for libraries the system
// found by name.
#include <filesystem>

#include "platform/shared_library.h"

namespace qv::platform {

// Canonical path of the file behind a loaded library (links resolved), or an
// empty path when the system cannot tell.
std::filesystem::path library_path(LibraryHandle library);

}  // namespace qv::platform
