#include "ports/wait_fd_posix.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>

namespace kestrel {

uint64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

FdWait WaitFd(int fd, short events, int cancelFd, uint64_t ms) {
    const uint64_t end = MonotonicMs() + ms;
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
        const uint64_t now = MonotonicMs();
        const int left = static_cast<int>(std::min<uint64_t>(end > now ? end - now : 0, 60000));
        const int n = poll(fds, cancelFd >= 0 ? 2 : 1, left);
        if (n < 0 && errno == EINTR)
            continue; // a signal: the cancel descriptor says whether it was ours
        if (n < 0)
            return FdWait::Failed;
        if (cancelFd >= 0 && (fds[1].revents & POLLIN))
            return FdWait::Cancelled;
        if (fds[0].revents & (events | POLLERR | POLLHUP | POLLNVAL))
            return (fds[0].revents & events) ? FdWait::Ready : FdWait::Failed;
        if (n == 0 && MonotonicMs() >= end)
            return FdWait::TimedOut;
    }
}

} // namespace kestrel
