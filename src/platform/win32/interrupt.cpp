#include "platform/interrupt.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace qv::platform {

namespace {

std::atomic<bool> interrupted{false};
// The thread that runs the conversion; its waiting read is cancelled.
HANDLE conversion_thread = nullptr;

// The system ends the process when the handler of a close event returns (or
// after about five seconds). Waiting here gives the conversion time to remove
// its temporary file and exit first.
constexpr DWORD close_grace_ms = 4000;

void request_interrupt() {
    interrupted.store(true);
    // Handlers run on a thread of their own; a read the conversion is
    // waiting in (a pipe on standard input, say) would otherwise go on.
    if (conversion_thread != nullptr) {
        CancelSynchronousIo(conversion_thread);
    }
}

BOOL WINAPI console_control_handler(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: request_interrupt(); return TRUE;
        case CTRL_CLOSE_EVENT:
            request_interrupt();
            Sleep(close_grace_ms);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void install_interrupt_handlers() {
    if (conversion_thread == nullptr) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &conversion_thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
    }
    SetConsoleCtrlHandler(console_control_handler, TRUE);
}

bool interrupt_requested() { return interrupted.load(); }

namespace {

std::mutex registry_mutex;
std::vector<HANDLE> registered;

}  // namespace

InterruptibleThread::InterruptibleThread() {
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    std::lock_guard<std::mutex> lock(registry_mutex);
    registered.push_back(self);
    handle_ = reinterpret_cast<intptr_t>(self);
}

InterruptibleThread::~InterruptibleThread() {
    HANDLE self = reinterpret_cast<HANDLE>(handle_);
    {
        std::lock_guard<std::mutex> lock(registry_mutex);
        registered.erase(std::remove(registered.begin(), registered.end(), self), registered.end());
    }
    if (self != nullptr) {
        CloseHandle(self);
    }
}

void wake_waiting_threads() {
    std::lock_guard<std::mutex> lock(registry_mutex);
    for (HANDLE thread : registered) {
        CancelSynchronousIo(thread);
    }
}

}  // namespace qv::platform
