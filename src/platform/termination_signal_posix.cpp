#include "platform/termination_signal.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace zorvex {

namespace {

int g_writeEnd = -1;
int g_readEnd = -1;

void onTermination(int) {
    const int saved = errno;
    const char byte = 1;
    // Full pipe: a byte is already waiting, which is all the loop needs.
    [[maybe_unused]] ssize_t written = ::write(g_writeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

int WatchTerminationSignals() {
    if (g_readEnd >= 0) return g_readEnd;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = onTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A program that execs us blocks them across the exec, so that one sent
    // meanwhile waits here instead of killing the process: it arrives now.
    sigset_t both;
    sigemptyset(&both);
    sigaddset(&both, SIGINT);
    sigaddset(&both, SIGTERM);
    ::pthread_sigmask(SIG_UNBLOCK, &both, nullptr);
    return g_readEnd;
}

}  // namespace zorvex
