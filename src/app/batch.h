#pragma once
// Many conversions in one call: the files and folders of an output-folder
// command line, converted a few at a time, each as its own conversion.
#include "app/cli_options.h"
#include "input/flac_library.h"

namespace qv {

// Converts every job, up to `options.threads` at once (0: one per logical
// processor), and prints a line per finished file and a summary. Returns 0
// when every file converted, 1 when any failed or the run was interrupted,
// 2 when the command line's inputs cannot be run.
int run_batch(const CliOptions& options, const FlacLibrary* library);

}  // namespace qv
