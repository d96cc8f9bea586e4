#include "ports/printer_socket_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ports/network_bounds.h"
#include "ports/wait_fd_posix.h"

namespace kestrel {

bool CPrinterSocket::Create() {
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
}

bool CPrinterSocket::Connect(const std::string& host, uint16_t port) {
    if (fd_ < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return false;
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    if (WaitFd(fd_, POLLOUT, cancelFd_, kNetworkConnectLimitMs) != FdWait::Ready)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

int64_t CPrinterSocket::Send(const uint8_t* data, uint64_t count) {
    if (fd_ < 0)
        return -1;
    uint64_t sent = 0;
    while (sent < count) {
        const ssize_t n = send(fd_, data + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<uint64_t>(n);
            continue;
        }
        // A printer that stops taking bytes for this long is gone.
        if ((n < 0 && errno != EAGAIN && errno != EINTR) ||
            (n < 0 && errno == EAGAIN &&
             WaitFd(fd_, POLLOUT, cancelFd_, NetworkStallMs()) != FdWait::Ready)) {
            sendFailed_ = true;
            return -1;
        }
    }
    return static_cast<int64_t>(sent);
}

void CPrinterSocket::Close() {
    if (fd_ < 0)
        return;
    if (sendFailed_) {
        // Reset rather than close: the system would otherwise go on offering
        // the rest of a failed image to a printer that is not taking it.
        const linger abort{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        sendFailed_ = false;
    }
    ::close(fd_);
    fd_ = -1;
}

} // namespace kestrel
