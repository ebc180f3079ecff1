// The dynamic linker's record of a loaded library names the file it mapped.
#include "platform/library_path.h"

#include <dlfcn.h>
#include <link.h>

#include <system_error>

namespace qv::platform {

std::filesystem::path library_path(LibraryHandle library) {
    link_map* map = nullptr;
    if (library == nullptr || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        map->l_name == nullptr || map->l_name[0] == '\0') {
        return {};
    }
    // The recorded name is the one the search found, often a soname link;
    // the canonical form is the file behind it.
    std::error_code error;
    std::filesystem::path path = std::filesystem::canonical(map->l_name, error);
    if (error) {
        return std::filesystem::path(map->l_name);
    }
    return path;
}

}  // namespace qv::platform
