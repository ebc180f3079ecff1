// Run-time library loading through the dynamic linker.
#include "platform/shared_library.h"

#include <dlfcn.h>

namespace qv::platform {

LibraryHandle load_library(const std::filesystem::path& path, std::string& reason) {
    reason.clear();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if (const char* text = dlerror()) {
            reason = text;
        }
    }
    return handle;
}

void* find_symbol(LibraryHandle library, const char* name) {
    if (library == nullptr) {
        return nullptr;
    }
    return dlsym(library, name);
}

void unload_library(LibraryHandle library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

}  // namespace qv::platform
