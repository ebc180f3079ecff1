#pragma once
// Ctrl-C and termination requests, turned into a flag that the conversion
// acts on so that it can clean up and stop in an orderly way.

namespace qv::platform {

// POSIX: SIGINT, SIGTERM, SIGHUP and SIGQUIT raise the flag and end any wait
// in a read (a FIFO, a stalled pipe); SIGPIPE and SIGXFSZ are ignored, so a
// closed standard output or a file-size limit turns into a failed write
// rather than killing the process. Windows: Ctrl-C, Ctrl-Break and closing
// the console raise the flag and cancel a read that is waiting.
void install_interrupt_handlers();

bool interrupt_requested();

}  // namespace qv::platform
