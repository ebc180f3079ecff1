#include "platform/win32/utf16.h"

#include <windows.h>

#include <climits>

namespace qv::platform::win32 {

bool utf8_to_wide(std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int in_size = static_cast<int>(text.size());
    const int count =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), in_size, nullptr, 0);
    if (count <= 0) return false;
    wide.resize(static_cast<std::size_t>(count));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), in_size, wide.data(),
                            count) != count) {
        wide.clear();
        return false;
    }
    return true;
}

bool wide_to_utf8(std::wstring_view wide, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int in_size = static_cast<int>(wide.size());
    // 65001 is CP_UTF8; with WC_ERR_INVALID_CHARS an unpaired surrogate fails
    // the call instead of turning into U+FFFD.
    const int count = WideCharToMultiByte(65001, WC_ERR_INVALID_CHARS, wide.data(), in_size,
                                          nullptr, 0, nullptr, nullptr);
    if (count <= 0) return false;
    text.resize(static_cast<std::size_t>(count));
    if (WideCharToMultiByte(65001, WC_ERR_INVALID_CHARS, wide.data(), in_size, text.data(), count,
                            nullptr, nullptr) != count) {
        text.clear();
        return false;
    }
    return true;
}

}  // namespace qv::platform::win32
