#pragma once
// Conversions between command-line text and file-system paths.
#include <filesystem>
#include <string>
#include <vector>

namespace qv::platform {

// The program's arguments (without the program name) as narrow text: on
// POSIX the bytes as given, on Windows the wide command line in UTF-8.
std::vector<std::string> command_line_arguments(int argc, char** argv);

// A path from an argument's bytes. False when the bytes are not valid in the
// file-system encoding (never on POSIX, where a path is its bytes).
bool argument_to_path(const std::string& argument, std::filesystem::path& path);

// A path (or part of one) as narrow text in the file-system encoding, for
// display and for comparing extensions. False when it cannot be converted.
bool path_to_narrow(const std::filesystem::path& path, std::string& text);

// A path as strict UTF-8 (for libFLAC). False when it is not valid text.
bool path_to_utf8(const std::filesystem::path& path, std::string& text);

}  // namespace qv::platform
