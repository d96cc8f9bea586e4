// Waits on a descriptor that also end the moment the run is told to stop:
// `cancelFd` turns readable on an interrupt and stays so, so every wait of
// a port ends within a poll of it.
#pragma once

#include <cstdint>

namespace kestrel {

enum class FdWait { Ready, Cancelled, TimedOut, Failed };

// Waits up to `ms` for `events` (POLLIN, POLLOUT) on `fd`; `cancelFd` may be -1.
FdWait WaitFd(int fd, short events, int cancelFd, uint64_t ms);

// Milliseconds of a monotonic clock.
uint64_t MonotonicMs();

} // namespace kestrel
