#pragma once
// Ctrl-C and termination requests, turned into a flag the conversion polls
// between blocks so that it can clean up and stop in an orderly way.

namespace qv::platform {

// SIGINT/SIGTERM/SIGHUP on POSIX; Ctrl-C, Ctrl-Break and console close on Windows.
void install_interrupt_handlers();

bool interrupt_requested();

}  // namespace qv::platform
