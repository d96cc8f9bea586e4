#include "ports/device_port_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ports/wait_fd_posix.h"

namespace kestrel {
namespace {

// A device may answer "ready" and then take nothing (a parallel port
// driver has no readiness of its own to report): the next try waits this long.
constexpr uint64_t kRetryPauseMs = 20;
// A printer that is not ready (out of paper, off line) is asked again this often.
constexpr uint64_t kNotReadyPauseMs = 500;

} // namespace

bool CDevicePort::Open(const std::string& path) {
    Close();
    path_ = path;
    problem_.clear();
    busy_ = false;
    fd_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return Refuse(path_ + ": " + std::strerror(errno));
    // TIOCEXCL keeps out anyone but root; the lock keeps out root too.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        Refuse(error == EWOULDBLOCK
                   ? path_ + ": port busy (another program or kestrelc run holds it)"
                   : path_ + ": " + std::strerror(error));
        busy_ = error == EWOULDBLOCK;
        return false;
    }
    if (isatty(fd_))
        ioctl(fd_, TIOCEXCL);
    return true;
}

bool CDevicePort::Refuse(const std::string& problem) {
    Close();
    problem_ = problem;
    return false;
}

bool CDevicePort::Pause(uint64_t ms) const {
    return WaitFd(cancelFd_, POLLIN, -1, ms) != FdWait::Ready;
}

uint32_t CDevicePort::Write(const uint8_t* data, uint32_t count, CSerialWriteWatch& watch,
                            const DeviceWriteRules& rules) {
    if (fd_ < 0)
        return 0;
    uint32_t done = 0;
    while (done < count) {
        const uint64_t now = MonotonicMs();
        const uint64_t left = watch.MsUntilStalled(now);
        if (left == 0)
            break;
        if (rules.beforePiece && !rules.beforePiece(now + left))
            break;
        const FdWait ready = WaitFd(fd_, POLLOUT, cancelFd_, std::min(left, uint64_t{1000}));
        if (ready == FdWait::Cancelled || ready == FdWait::Failed)
            break;
        if (ready == FdWait::TimedOut)
            continue;
        const ssize_t n = ::write(fd_, data + done, std::min(count - done, rules.piece));
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            watch.Progress(MonotonicMs());
            continue;
        }
        const int error = n < 0 ? errno : EAGAIN;
        if (error == EINTR)
            continue;
        const bool wait = error == EAGAIN || (rules.notReady && rules.notReady(error));
        if (!wait ||
            !Pause(std::min(left, error == EAGAIN ? kRetryPauseMs : kNotReadyPauseMs)))
            break;
    }
    return done;
}

void CDevicePort::Close() {
    if (fd_ < 0)
        return;
    // Exclusive use outlives this descriptor while another holds the tty
    // open (a pty's other end does): give it up with the port.
    if (isatty(fd_))
        ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

} // namespace kestrel
