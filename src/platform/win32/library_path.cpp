#include "platform/library_path.h"

#include <windows.h>

#include <vector>

namespace qv::platform {

std::filesystem::path library_path(LibraryHandle library) {
    if (library == nullptr) return {};
    constexpr DWORD capacity = 32768;
    std::vector<wchar_t> buffer(capacity);
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(library), buffer.data(), capacity);
    if (length == 0 || length >= capacity) return {};
    return std::filesystem::path(std::wstring(buffer.data(), length));
}

}  // namespace qv::platform
