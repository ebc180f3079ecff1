#pragma once
// The program's fixed console texts: version banner, help and feature list.
#include "input/flac_library.h"

namespace qv {

inline constexpr const char* program_version = "1.0.1.0";

void print_banner();
// `library` may be null; the last line then reports FLAC input as disabled.
void print_usage(const FlacLibrary* library);
// False (after an error line) when the library's path cannot be shown as text.
bool print_features(const FlacLibrary* library);

}  // namespace qv
