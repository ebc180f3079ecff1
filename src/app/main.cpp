// Entry point: libFLAC is loaded before any argument is looked at, so that
// help and feature list can tell whether FLAC input is available, and it is
// released on every way out.
#include "app/program.h"
#include "input/flac_library.h"
#include "platform/interrupt.h"
#include "platform/path_text.h"

namespace {

int program_main(int argc, char** argv) {
    // Before anything is read or written: Ctrl-C must end even the wait for
    // the first byte, and a closed standard output must not end the process.
    qv::platform::install_interrupt_handlers();
    std::unique_ptr<qv::FlacLibrary> library = qv::load_flac_library();
    const int exit_code =
        qv::run_program(qv::platform::command_line_arguments(argc, argv), library.get());
    qv::unload_flac_library(library);
    return exit_code;
}

}  // namespace

#ifdef _WIN32
// The Windows build takes its arguments from the wide command line.
int wmain(int argc, wchar_t**) { return program_main(argc, nullptr); }
#else
int main(int argc, char** argv) { return program_main(argc, argv); }
#endif
