#pragma once
// Ctrl-C and termination requests, turned into a flag that the conversion
// acts on so that it can clean up and stop in an orderly way.

#include <cstdint>

namespace qv::platform {

// POSIX: SIGINT, SIGTERM, SIGHUP and SIGQUIT raise the flag and end any wait
// in a read (a FIFO, a stalled pipe); SIGPIPE and SIGXFSZ are ignored, so a
// closed standard output or a file-size limit turns into a failed write
// rather than killing the process. Windows: Ctrl-C, Ctrl-Break and closing
// the console raise the flag and cancel a read that is waiting.
void install_interrupt_handlers();

bool interrupt_requested();

// A thread other than the main one that may wait in a read for a conversion
// (a FIFO, a pipe) holds one of these while it works, so that an
// interruption can end that wait too: the system delivers a signal to only
// one thread of the process.
class InterruptibleThread {
public:
    InterruptibleThread();
    ~InterruptibleThread();
    InterruptibleThread(const InterruptibleThread&) = delete;
    InterruptibleThread& operator=(const InterruptibleThread&) = delete;

private:
    intptr_t handle_ = 0;  // pthread_t, or a thread HANDLE on Windows
};

// Ends the current wait of every InterruptibleThread. Called, again and
// again until they are done, by a thread that has seen interrupt_requested(),
// since a thread about to start a wait would miss a single call.
void wake_waiting_threads();

}  // namespace qv::platform
