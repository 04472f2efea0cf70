#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "cli/interrupt.h"
#include "platform/fd_posix.h"

namespace corvella {

namespace {

// The handler may only do what is async-signal-safe: it writes one byte into a pipe that Wait
// reads. Ignoring the write's result is deliberate: a full pipe already holds a wake-up.
platform::Descriptor g_wake_read, g_wake_write;
struct sigaction g_old_int, g_old_term;

constexpr char kInterrupted = 1, kWoken = 2;

void OnSignal(int) {
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_wake_write.get(), &kInterrupted, 1);
    errno = saved;
}

}  // namespace

InterruptWait::InterruptWait() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    g_wake_read.Reset(ends[0]);
    g_wake_write.Reset(ends[1]);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_old_int);
    ::sigaction(SIGTERM, &action, &g_old_term);
}

InterruptWait::~InterruptWait() {
    if (!g_wake_read.IsOpen()) return;
    ::sigaction(SIGINT, &g_old_int, nullptr);
    ::sigaction(SIGTERM, &g_old_term, nullptr);
    // The handler is gone before the pipe it writes into.
    g_wake_write.Close();
    g_wake_read.Close();
}

bool InterruptWait::Wait() {
    if (!g_wake_read.IsOpen()) {
        ::pause();  // no pipe: the default action ends the process
        return true;
    }
    char byte = kInterrupted;
    while (::read(g_wake_read.get(), &byte, 1) < 0 && errno == EINTR) {
    }
    return byte != kWoken;
}

void InterruptWait::Wake() {
    [[maybe_unused]] const ssize_t n = ::write(g_wake_write.get(), &kWoken, 1);
}

void InterruptWait::Done() {}

}  // namespace corvella
