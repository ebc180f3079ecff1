#pragma once
// The program's flow after libFLAC has been loaded: the short one-argument
// forms, the command line, and the conversion.
#include <string>
#include <vector>

#include "input/flac_library.h"

namespace qv {

// Returns the exit code: 0 success, 1 failed conversion, 2 command-line error.
int run_program(const std::vector<std::string>& arguments, const FlacLibrary* library);

}  // namespace qv
