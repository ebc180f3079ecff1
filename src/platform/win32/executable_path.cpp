#include "platform/executable_path.h"

#include <windows.h>

#include <vector>

namespace qv::platform {

std::filesystem::path executable_path() {
    // 32768 characters is the longest path the wide API can return; a result
    // that fills the buffer has been cut and is of no use.
    constexpr DWORD capacity = 32768;
    std::vector<wchar_t> buffer(capacity);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
    if (length == 0 || length >= capacity) return {};
    return std::filesystem::path(std::wstring(buffer.data(), length));
}

}  // namespace qv::platform
