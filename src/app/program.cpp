// Dispatches the no-argument and one-argument forms before the full parse.
#include "app/program.h"

#include "app/batch.h"
#include "app/cli_options.h"
#include "app/command_line.h"
#include "app/conversion.h"
#include "app/help_text.h"

namespace qv {

int run_program(const std::vector<std::string>& arguments, const FlacLibrary* library) {
    if (arguments.empty()) {
        print_usage(library);
        return 0;
    }
    if (arguments.size() == 1) {
        const std::string& only = arguments[0];
        if (only == "--version" || only == "-V") {
            print_banner();
            return 0;
        }
        if (only == "--features") {
            return print_features(library) ? 0 : 1;
        }
        if (only == "--help" || only == "-h") {
            print_usage(library);
            return 0;
        }
    }
    CliOptions options;
    const CommandLineOutcome outcome = parse_command_line(arguments, library, options);
    if (!outcome.convert) {
        return outcome.exit_code;
    }
    if (!options.output_dir.empty()) {
        return run_batch(options, library);
    }
    return run_conversion(options, library);
}

}  // namespace qv
