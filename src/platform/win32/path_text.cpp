#include "platform/path_text.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/win32/utf16.h"

namespace qv::platform {

// The narrow argv of the C runtime is in the ANSI code page, where text
// outside that page has already become question marks. The wide command line
// holds every argument exactly; each is handed on as UTF-8.
std::vector<std::string> command_line_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        if (argv != nullptr) {
            for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
        }
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        const std::wstring_view argument(wide[i]);
        std::string text;
        if (!win32::wide_to_utf8(argument, text)) {
            // An unpaired surrogate has no UTF-8 form; it becomes U+FFFD so
            // that tags stay valid UTF-8 (such a name cannot be opened).
            text.clear();
            const int size = static_cast<int>(argument.size());
            const int length = WideCharToMultiByte(CP_UTF8, 0, argument.data(), size, nullptr, 0,
                                                   nullptr, nullptr);
            if (length > 0) {
                text.resize(static_cast<std::size_t>(length));
                WideCharToMultiByte(CP_UTF8, 0, argument.data(), size, text.data(), length, nullptr,
                                    nullptr);
            }
        }
        arguments.push_back(std::move(text));
    }
    LocalFree(wide);
    return arguments;
}

bool argument_to_path(const std::string& argument, std::filesystem::path& path) {
    std::wstring wide;
    if (!win32::utf8_to_wide(argument, wide)) return false;
    path = std::filesystem::path(std::move(wide));
    return true;
}

bool path_to_narrow(const std::filesystem::path& path, std::string& text) {
    return win32::wide_to_utf8(path.native(), text);
}

bool path_to_utf8(const std::filesystem::path& path, std::string& text) {
    return win32::wide_to_utf8(path.native(), text);
}

}  // namespace qv::platform
