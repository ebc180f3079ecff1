#pragma once
// Everything the command line says about one conversion.
#include <filesystem>

#include "m4a/tag_set.h"

namespace qv {

struct CliOptions {
    std::filesystem::path input_path;
    std::filesystem::path output_path;
    bool fast = false;
    bool overwrite = false;
    bool quiet = false;
    bool profile = false;
    bool verify = false;
    bool standard_input = false;  // the input is "-": WAV/RF64 from standard input
    bool ignore_length = false;   // read WAV audio to the end, whatever its data size says
    TagSet tags;
};

}  // namespace qv
