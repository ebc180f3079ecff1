// Extension of the last path component, found on the native string so that
// both separators count on every platform.
#include "app/extension.h"

#include "platform/path_text.h"

namespace qv {

std::string lowercase_extension(const std::filesystem::path& path) {
    using string_type = std::filesystem::path::string_type;
    using char_type = string_type::value_type;
    const string_type& native = path.native();

    const size_t separator = native.find_last_of(string_type{char_type('/'), char_type('\\')});
    string_type name = separator == string_type::npos ? native : native.substr(separator + 1);
#ifdef _WIN32
    // A colon marks a drive or an alternate stream on Windows, never part of
    // a file name; elsewhere it is an ordinary character.
    const size_t colon = name.find(char_type(':'));
    if (colon != string_type::npos) {
        name.resize(colon);
    }
#endif
    const string_type dot{char_type('.')};
    const string_type dot_dot{char_type('.'), char_type('.')};
    if (name == dot || name == dot_dot) {
        return {};
    }
    const size_t last_dot = name.rfind(char_type('.'));
    if (last_dot == string_type::npos || last_dot == 0) {
        return {};
    }

    std::string extension;
    if (!platform::path_to_narrow(std::filesystem::path(name.substr(last_dot)), extension)) {
        return {};
    }
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

}  // namespace qv
