#include "platform/shared_library.h"

#include <windows.h>

#include "platform/win32/utf16.h"

namespace qv::platform {
namespace {

// The system's message for an error code in UTF-8, without the line break
// and blanks it ends with; "Win32 error N" when the system has no message.
std::string system_error_text(DWORD code) {
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring wide;
    if (length != 0 && message != nullptr) wide.assign(message, length);
    if (message != nullptr) LocalFree(message);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' ||
                             wide.back() == L'\t')) {
        wide.pop_back();
    }
    std::string text;
    if (wide.empty() || !win32::wide_to_utf8(wide, text) || text.empty()) {
        return "Win32 error " + std::to_string(code);
    }
    return text;
}

}  // namespace

LibraryHandle load_library(const std::filesystem::path& path, std::string& reason) {
    reason.clear();
    // The altered search path resolves the library's own dependencies from
    // its folder rather than from the executable's.
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        const DWORD code = GetLastError();
        if (code != 0) reason = system_error_text(code);
        return nullptr;
    }
    return reinterpret_cast<LibraryHandle>(module);
}

void* find_symbol(LibraryHandle library, const char* name) {
    if (library == nullptr) return nullptr;
    FARPROC address = GetProcAddress(static_cast<HMODULE>(library), name);
    return reinterpret_cast<void*>(address);
}

void unload_library(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace qv::platform
