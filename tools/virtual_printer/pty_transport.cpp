#include "tools/virtual_printer/pty_transport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>

namespace kestrel::vprinter {
namespace {

IoResult FromSyscall(ssize_t n) {
    if (n >= 0)
        return {IoResult::Kind::Done, static_cast<std::size_t>(n), 0};
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)
        return {IoResult::Kind::WouldBlock, 0, 0};
    // EIO is how a pty reports that the other end is gone.
    if (err == EIO)
        return {IoResult::Kind::Closed, 0, err};
    return {IoResult::Kind::Failed, 0, err};
}

// Bytes must cross unchanged until the host sets its own mode: no echo back
// to the printer, no line editing, no CR/LF translation, no flow control.
void MakeRaw(termios& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    t.c_cflag |= CS8;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

} // namespace

std::unique_ptr<PtyTransport> PtyTransport::Open(std::string& error) {
    UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY));
    if (!master.Valid()) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return nullptr;
    }
    if (grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) {
        error = std::string("grantpt/unlockpt: ") + std::strerror(errno);
        return nullptr;
    }
    const char* name = ptsname(master.Get());
    if (name == nullptr) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return nullptr;
    }
    std::string path = name;
    UniqueFd slave(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!slave.Valid()) {
        error = "open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    termios t{};
    if (tcgetattr(slave.Get(), &t) != 0) {
        error = std::string("tcgetattr: ") + std::strerror(errno);
        return nullptr;
    }
    MakeRaw(t);
    if (tcsetattr(slave.Get(), TCSANOW, &t) != 0) {
        error = std::string("tcsetattr: ") + std::strerror(errno);
        return nullptr;
    }
    const int flags = fcntl(master.Get(), F_GETFL);
    if (flags < 0 || fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        error = std::string("fcntl O_NONBLOCK: ") + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<PtyTransport>(
        new PtyTransport(std::move(master), std::move(slave), std::move(path)));
}

PtyTransport::PtyTransport(UniqueFd master, UniqueFd slave, std::string slavePath)
    : master_(std::move(master)), slave_(std::move(slave)), slavePath_(std::move(slavePath)) {}

IoResult PtyTransport::Receive(std::span<std::uint8_t> buffer) {
    if (!master_.Valid())
        return {IoResult::Kind::Closed, 0, 0};
    return FromSyscall(::read(master_.Get(), buffer.data(), buffer.size()));
}

IoResult PtyTransport::Send(std::span<const std::uint8_t> bytes) {
    if (!master_.Valid())
        return {IoResult::Kind::Closed, 0, 0};
    return FromSyscall(::write(master_.Get(), bytes.data(), bytes.size()));
}

void PtyTransport::Drop() {
    // Closing the master hangs up every open slave: the host's next
    // transfer fails. Our own slave goes too, so nothing keeps the line.
    master_.Reset();
    slave_.Reset();
}

std::optional<LineSettings> PtyTransport::Settings() const {
    termios t{};
    if (!slave_.Valid() || tcgetattr(slave_.Get(), &t) != 0)
        return std::nullopt;
    return LineSettingsFromTermios(t);
}

} // namespace kestrel::vprinter
