#pragma once
// Strict conversions between UTF-8 and the UTF-16 of Windows' wide API.
#include <string>
#include <string_view>

namespace qv::platform::win32 {

// False when the input is not valid UTF-8 (or the system refuses it).
bool utf8_to_wide(std::string_view text, std::wstring& wide);

// False when the input holds an unpaired surrogate (or the system refuses it).
bool wide_to_utf8(std::wstring_view wide, std::string& text);

}  // namespace qv::platform::win32
