// Interrupt and termination signals only raise a flag; the conversion acts on
// it and cleans up itself.
#include "platform/interrupt.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace qv::platform {

namespace {

// Read by every conversion thread; a lock-free atomic is safe to set from a
// signal handler.
std::atomic<int> interrupt_flag{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void note_interrupt(int) {
    const int saved_errno = errno;
    interrupt_flag.store(1);
    errno = saved_errno;
}

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read or open waiting on a pipe must return (EINTR) so
    // that the flag is seen at once; the readers retry only when it is clear.
    action.sa_flags = 0;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(signal_number, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int signal_number : {SIGPIPE, SIGXFSZ}) {
        sigaction(signal_number, &ignore, nullptr);
    }
}

bool interrupt_requested() { return interrupt_flag.load() != 0; }

namespace {

std::mutex registry_mutex;
std::vector<pthread_t> registered;

}  // namespace

InterruptibleThread::InterruptibleThread() {
    const pthread_t self = pthread_self();
    std::lock_guard<std::mutex> lock(registry_mutex);
    registered.push_back(self);
    handle_ = static_cast<intptr_t>(self);
}

InterruptibleThread::~InterruptibleThread() {
    const auto self = static_cast<pthread_t>(handle_);
    std::lock_guard<std::mutex> lock(registry_mutex);
    registered.erase(std::remove_if(registered.begin(), registered.end(),
                                    [&](pthread_t t) { return pthread_equal(t, self); }),
                     registered.end());
}

void wake_waiting_threads() {
    std::lock_guard<std::mutex> lock(registry_mutex);
    // The handler only raises the flag again; what matters is that a read
    // or open the thread is waiting in returns with EINTR.
    for (const pthread_t thread : registered) {
        pthread_kill(thread, SIGINT);
    }
}

}  // namespace qv::platform
