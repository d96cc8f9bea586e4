#include "console/console_interrupt_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace kestrel {
namespace {

std::atomic<int> g_signal{0};
int g_pipe[2] = {-1, -1}; // lives as long as the process

void OnSignal(int number) {
    int none = 0;
    if (g_signal.compare_exchange_strong(none, number)) {
        const char byte = 1;
        // Never read: the descriptor stays readable for every later wait.
        [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
    }
}

} // namespace

void InstallInterruptHandler() {
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action{};
    action.sa_handler = &OnSignal;
    sigfillset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() {
    return g_signal.load() != 0;
}

int InterruptSignal() {
    return g_signal.load();
}

int InterruptFd() {
    return g_pipe[0];
}

} // namespace kestrel
