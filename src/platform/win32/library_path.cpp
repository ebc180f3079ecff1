#include "platform/library_path.h"

#include "platform/win32/module_file_name.h"

namespace qv::platform {

std::filesystem::path library_path(LibraryHandle library) {
    if (library == nullptr) return {};
    return win32::module_file_name(library);
}

}  // namespace qv::platform
