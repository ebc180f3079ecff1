#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>

namespace qv::platform {
namespace {

std::atomic<bool> interrupted{false};

// The system ends the process when the handler of a close event returns (or
// after about five seconds). Waiting here gives the conversion, which polls
// the flag between blocks, time to remove its temporary file and exit first.
constexpr DWORD close_grace_ms = 4000;

BOOL WINAPI console_control_handler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        interrupted.store(true);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        interrupted.store(true);
        Sleep(close_grace_ms);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void install_interrupt_handlers() { SetConsoleCtrlHandler(console_control_handler, TRUE); }

bool interrupt_requested() { return interrupted.load(); }

}  // namespace qv::platform
