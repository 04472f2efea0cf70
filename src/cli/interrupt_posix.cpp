#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "cli/interrupt.h"

namespace corvella {

namespace {

// The handler may only do what is async-signal-safe: it writes one byte into a pipe that Wait
// reads. Ignoring the write's result is deliberate: a full pipe already holds a wake-up.
int g_pipe[2] = {-1, -1};
struct sigaction g_old_int, g_old_term;

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

InterruptWait::InterruptWait() {
    if (::pipe2(g_pipe, O_CLOEXEC) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_old_int);
    ::sigaction(SIGTERM, &action, &g_old_term);
}

InterruptWait::~InterruptWait() {
    if (g_pipe[0] < 0) return;
    ::sigaction(SIGINT, &g_old_int, nullptr);
    ::sigaction(SIGTERM, &g_old_term, nullptr);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void InterruptWait::Wait() {
    if (g_pipe[0] < 0) {
        ::pause();  // no pipe: the default action ends the process
        return;
    }
    char byte;
    while (::read(g_pipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
}

void InterruptWait::Done() {}

}  // namespace corvella
