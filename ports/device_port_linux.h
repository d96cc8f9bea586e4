// A printer's device file on Linux, taken for one run: opened without
// blocking, exclusively (TIOCEXCL where it is a tty, and an advisory lock,
// which keeps out root too), and written piece by piece until the printer
// has taken nothing for the stall bound. Every wait also ends when the
// run's cancel descriptor turns readable. The serial and the parallel port
// are this with rules of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "drivers/common/serial_write_watch.h"

namespace kestrel {

// What a port adds to the write loop.
struct DeviceWriteRules {
    uint32_t piece = 1024; // bytes per write call
    // Before each piece; false ends the write. May be empty.
    std::function<bool(uint64_t untilMs)> beforePiece;
    // A write failed with `error`: true when the printer is only not ready
    // yet, so the piece is tried again after a pause. May be empty.
    std::function<bool(int error)> notReady;
};

class CDevicePort {
  public:
    explicit CDevicePort(int cancelFd) : cancelFd_(cancelFd) {}
    ~CDevicePort() { Close(); }
    CDevicePort(const CDevicePort&) = delete;
    CDevicePort& operator=(const CDevicePort&) = delete;

    // Opens and locks `path`; false with Problem() (and Busy()) set.
    bool Open(const std::string& path);
    // Gives up exclusive use and closes.
    void Close();
    // Bytes written: all of them, or as many as went before the printer
    // stalled, the write failed or the run was stopped.
    uint32_t Write(const uint8_t* data, uint32_t count, CSerialWriteWatch& watch,
                   const DeviceWriteRules& rules);
    // Waits up to `ms`; false when the run was stopped meanwhile.
    bool Pause(uint64_t ms) const;

    int Fd() const { return fd_; }
    const std::string& Problem() const { return problem_; }
    bool Busy() const { return busy_; }
    // Ends the opening with a problem of the port's own.
    bool Refuse(const std::string& problem);

  private:
    int cancelFd_;
    int fd_ = -1;
    std::string path_;
    std::string problem_;
    bool busy_ = false;
};

} // namespace kestrel
