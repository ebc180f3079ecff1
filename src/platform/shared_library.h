#pragma once
// Loading a shared library at run time and resolving its exports.
#include <filesystem>
#include <string>

namespace qv::platform {

using LibraryHandle = void*;

// Loads the library at an absolute path (its own dependencies resolved from
// its folder). Null on failure; then `reason` holds the system's text for the
// failure, or is empty when the system reports none.
LibraryHandle load_library(const std::filesystem::path& path, std::string& reason);

// Address of an exported symbol, or null when the library lacks it.
void* find_symbol(LibraryHandle library, const char* name);

void unload_library(LibraryHandle library);

}  // namespace qv::platform
