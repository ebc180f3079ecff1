// On POSIX a path is its bytes: arguments become paths unchanged, and only
// the UTF-8 view needs checking.
#include "platform/path_text.h"

#include <cstdint>

namespace qv::platform {

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return arguments;
}

bool argument_to_path(const std::string& argument, std::filesystem::path& path) {
    path = std::filesystem::path(argument);
    return true;
}

bool path_to_narrow(const std::filesystem::path& path, std::string& text) {
    text = path.native();
    return true;
}

namespace {

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead < 0x80) {
            continue;
        }
        int trailing = 0;
        uint32_t low = 0;  // smallest code point this length may encode
        uint32_t value = 0;
        if ((lead & 0xE0) == 0xC0) {
            trailing = 1;
            low = 0x80;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            trailing = 2;
            low = 0x800;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            trailing = 3;
            low = 0x10000;
            value = lead & 0x07;
        } else {
            return false;
        }
        if (end - p < trailing) {
            return false;
        }
        for (int i = 0; i < trailing; ++i) {
            const unsigned char next = *p++;
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (value < low || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool path_to_utf8(const std::filesystem::path& path, std::string& text) {
    if (!is_valid_utf8(path.native())) {
        return false;
    }
    text = path.native();
    return true;
}

}  // namespace qv::platform
