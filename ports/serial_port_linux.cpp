#include "ports/serial_port_linux.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "drivers/common/serial_write_watch.h"
#include "ports/wait_fd_posix.h"

namespace kestrel {
namespace {

// DSR and the output queue are looked at this often: a tty tells of neither.
constexpr uint64_t kLinePollMs = 20;

speed_t SpeedFor(int32_t baud) {
    switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

SerialLineFormat LineOf(const ConnectionSettings& s) {
    return SerialLineFormat{s.baudRate, s.dataBits, s.parity, s.stopBits};
}

} // namespace

int32_t CSerialPort::SetDeviceOption(const ConnectionSettings& settings) {
    settings_ = settings;
    path_ = settings.portName ? settings.portName : "";
    settings_.portName = nullptr; // the caller's text lives only during the call
    return !path_.empty() && SpeedFor(settings.baudRate) != B0 ? 1 : 0;
}

int32_t CSerialPort::OpenPort() {
    failed_ = false;
    const bool opened =
        device_.Open(path_) &&
        (isatty(device_.Fd()) || device_.Refuse(path_ + " is not a serial port (not a tty)")) &&
        (Configure() || device_.Refuse(path_ + ": the line settings were refused: " +
                                       std::strerror(errno)));
    if (!opened)
        say_(device_.Problem());
    return opened ? 1 : 0;
}

bool CSerialPort::Configure() {
    const int fd = device_.Fd();
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (settings_.parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (settings_.parity == 2)
        tio.c_cflag |= PARENB;
    if (settings_.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (settings_.handshake == 1)
        tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = SpeedFor(settings_.baudRate);
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 ||
        tcsetattr(fd, TCSANOW, &tio) != 0)
        return false;
    if (settings_.handshake == 0) {
        int dtr = TIOCM_DTR;
        int lines = 0;
        modemLines_ = ioctl(fd, TIOCMBIS, &dtr) == 0 && ioctl(fd, TIOCMGET, &lines) == 0;
        if (!modemLines_)
            say_(path_ + ": the port reports no modem lines; DTR/DSR handshake is not waited for");
    }
    return true;
}

// Linux has no DSR flow control: before each piece the printer's DSR is
// looked at, and the wait for it counts against the same stall bound.
bool CSerialPort::WaitForDsr(uint64_t untilMs) {
    for (;;) {
        int lines = 0;
        if (ioctl(device_.Fd(), TIOCMGET, &lines) != 0)
            return false;
        if (lines & TIOCM_DSR)
            return true;
        const uint64_t now = MonotonicMs();
        if (now >= untilMs)
            return false;
        if (!device_.Pause(std::min(kLinePollMs, untilMs - now)))
            return false;
    }
}

int32_t CSerialPort::Write(const uint8_t* data, uint32_t count) {
    if (device_.Fd() < 0)
        return -1;
    const SerialLineFormat line = LineOf(settings_);
    DeviceWriteRules rules;
    rules.piece = SerialWriteChunk(line);
    if (modemLines_ && settings_.handshake == 0)
        rules.beforePiece = [this](uint64_t untilMs) { return WaitForDsr(untilMs); };
    CSerialWriteWatch watch(MonotonicMs(), SerialLineTimeMs(line, count),
                            SerialStallMs(settings_.writeTimeout, line, rules.piece));
    const uint32_t done = device_.Write(data, count, watch, rules);
    failed_ = failed_ || done != count;
    return static_cast<int32_t>(done);
}

void CSerialPort::ClosePort() {
    const int fd = device_.Fd();
    if (fd < 0)
        return;
    // A printer that stopped reading must not hold the close (a tty's own
    // close waits up to 30 s for its output): what is still queued goes out
    // while the printer takes it and the run is not stopped, else it is
    // thrown away. A pty queues nothing on this side: the printer's end
    // holds what it has not read yet.
    int queued = 0;
    if (!failed_) {
        const SerialLineFormat line = LineOf(settings_);
        CSerialWriteWatch watch(MonotonicMs(), 0, SerialStallMs(0, line, SerialWriteChunk(line)));
        int last = -1;
        while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
            const uint64_t now = MonotonicMs();
            if (queued != last)
                watch.Progress(now);
            last = queued;
            if (watch.Stalled(now) || !device_.Pause(kLinePollMs))
                break;
        }
    }
    if (failed_ || queued > 0)
        tcflush(fd, TCOFLUSH);
    device_.Close();
}

} // namespace kestrel
