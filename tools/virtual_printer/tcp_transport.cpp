#include "tools/virtual_printer/tcp_transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>

namespace kestrel::vprinter {
namespace {

bool MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

bool Transient(int err) {
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

} // namespace

std::unique_ptr<TcpTransport> TcpTransport::Listen(std::uint16_t port,
                                                   std::optional<std::uint64_t> receiveBuffer,
                                                   std::string& error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    if (!fd.Valid()) {
        error = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (receiveBuffer) {
        const int size = static_cast<int>(*receiveBuffer);
        if (::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
            error = std::string("receive buffer: ") + std::strerror(errno);
            return nullptr;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never beyond this machine
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 4) != 0 || !MakeNonBlocking(fd.Get())) {
        error = "listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return nullptr;
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("getsockname: ") + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<TcpTransport>(new TcpTransport(std::move(fd), ntohs(address.sin_port)));
}

bool TcpTransport::AcceptWaiting() {
    if (connection_.Valid())
        return true;
    if (!listener_.Valid())
        return false;
    UniqueFd fd(::accept(listener_.Get(), nullptr, nullptr));
    if (!fd.Valid() || !MakeNonBlocking(fd.Get()))
        return false;
    connection_ = std::move(fd);
    connectionBytes_ = 0;
    std::cerr << "virtual_printer: connection " << ++connections_ << " accepted" << std::endl;
    return true;
}

void TcpTransport::EndConnection(const char* how) {
    if (!connection_.Valid())
        return;
    std::cerr << "virtual_printer: connection " << connections_ << " " << how << " after "
              << connectionBytes_ << " bytes" << std::endl;
    connection_.Reset();
}

IoResult TcpTransport::Receive(std::span<std::uint8_t> buffer) {
    if (!listener_.Valid())
        return {IoResult::Kind::Closed, 0, 0};
    if (!AcceptWaiting())
        return {IoResult::Kind::WouldBlock, 0, 0};
    const ssize_t n = ::recv(connection_.Get(), buffer.data(), buffer.size(), 0);
    if (n > 0) {
        connectionBytes_ += static_cast<std::uint64_t>(n);
        return {IoResult::Kind::Done, static_cast<std::size_t>(n), 0};
    }
    if (n < 0 && Transient(errno))
        return {IoResult::Kind::WouldBlock, 0, 0};
    // The host closed (or reset) its connection: the end of one download.
    // Listen for the next one.
    EndConnection(n == 0 ? "closed by the host" : "reset by the host");
    return {IoResult::Kind::Done, 0, 0};
}

IoResult TcpTransport::Send(std::span<const std::uint8_t> bytes) {
    if (!listener_.Valid())
        return {IoResult::Kind::Closed, 0, 0};
    if (!connection_.Valid())
        return {IoResult::Kind::WouldBlock, 0, 0}; // kept until a host connects
    const ssize_t n = ::send(connection_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0)
        return {IoResult::Kind::Done, static_cast<std::size_t>(n), 0};
    const int err = errno;
    if (Transient(err))
        return {IoResult::Kind::WouldBlock, 0, 0};
    EndConnection("failed");
    return {IoResult::Kind::Failed, 0, err};
}

void TcpTransport::Drop() {
    if (connection_.Valid()) {
        // A reset, not an orderly close: a printer that gives up.
        const linger abort{1, 0};
        ::setsockopt(connection_.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    EndConnection("reset by the printer");
    listener_.Reset();
}

} // namespace kestrel::vprinter
