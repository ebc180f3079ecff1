#pragma once
// Reading the full command line into CliOptions and checking the file names.
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "input/flac_library.h"

namespace qv {

// True for the options that take the next argument as their value.
bool option_takes_value(const std::string& argument);

// ".wav", ".wave", ".rf64" or ".flac": the names a reader exists for.
bool is_input_extension(const std::string& extension);

// Either the options are ready for a conversion, or the run ends here with
// `exit_code` (help or banner shown: 0; a command-line error: 2).
struct CommandLineOutcome {
    bool convert = false;
    int exit_code = 0;
};

// Parses left to right, then checks that both names are present and have
// acceptable extensions. Prints help, banner and error lines itself.
CommandLineOutcome parse_command_line(const std::vector<std::string>& arguments,
                                      const FlacLibrary* library, CliOptions& options);

}  // namespace qv
