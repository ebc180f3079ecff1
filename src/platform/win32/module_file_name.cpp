#include "platform/win32/module_file_name.h"

#include <windows.h>

#include <vector>

namespace qv::platform::win32 {

std::filesystem::path module_file_name(void* module) {
    // A result that fills the whole buffer has been cut and is of no use.
    constexpr DWORD capacity = 32768;
    std::vector<wchar_t> buffer(capacity);
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), capacity);
    if (length == 0 || length >= capacity) return {};
    return std::filesystem::path(std::wstring(buffer.data(), length));
}

}  // namespace qv::platform::win32
