// Interrupt and termination signals only raise a flag; the conversion polls
// it between blocks and cleans up itself.
#include "platform/interrupt.h"

#include <csignal>

namespace qv::platform {

namespace {

volatile std::sig_atomic_t interrupt_flag = 0;

extern "C" void note_interrupt(int) { interrupt_flag = 1; }

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    // Restart interrupted system calls: the flag is acted on at the next
    // block, so a read or write in progress should simply complete.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool interrupt_requested() { return interrupt_flag != 0; }

}  // namespace qv::platform
