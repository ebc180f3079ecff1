#pragma once
// Everything the command line says about one conversion.
#include <filesystem>
#include <string>
#include <vector>

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
    // Many files: with an output folder every positional argument is an input
    // file or a folder of them, each converted into the output folder.
    std::filesystem::path output_dir;
    std::vector<std::filesystem::path> inputs;
    std::vector<std::string> input_texts;  // the inputs as given, for messages
    // Files (with -d) converted at once; 0 means one per logical processor.
    unsigned threads = 1;
    bool threads_given = false;
};

}  // namespace qv
