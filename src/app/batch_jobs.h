#pragma once
// The conversions an output-folder command line asks for: every input file
// named, and every WAV, RF64 or FLAC file found below every folder named,
// each with its output in the output folder.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli_options.h"

namespace qv {

struct BatchJob {
    std::filesystem::path input;
    std::string input_text;  // as given, or as found below a folder given
    std::filesystem::path output;
    uint64_t input_bytes = 0;  // the share of the whole it stands for in progress
};

// Why the command line cannot run; its exit code and message.
struct BatchRefusal {
    int exit_code = 0;
    std::string message;
};

// Fills `jobs` in order: the arguments in turn, a folder's files sorted by
// their path below it (byte order). A folder's subfolders are mirrored below
// the output folder; a file goes straight into it, its extension replaced by
// ".m4a". False with the refusal when the jobs cannot be run.
bool collect_batch_jobs(const CliOptions& options, std::vector<BatchJob>& jobs,
                        BatchRefusal& refusal);

}  // namespace qv
