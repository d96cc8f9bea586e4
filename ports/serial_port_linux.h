// A serial printer on a Linux tty, in the place of the serial driver
// library: the device port with raw termios and the dialog's line settings,
// DSR waited for where the tty reports modem lines, and the serial
// library's stall rule, which counts the line's own time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "download/download_engine.h"
#include "ports/device_port_linux.h"

namespace kestrel {

class CSerialPort : public IPortDriver {
  public:
    using Say = std::function<void(const std::string&)>;
    // `say` takes the port's own words for a person (port busy, no modem lines).
    CSerialPort(int cancelFd, Say say) : device_(cancelFd), say_(std::move(say)) {}
    ~CSerialPort() override { ClosePort(); }
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool Load(const std::string&) override { return true; }
    void Release() override {}
    int32_t SetDeviceOption(const ConnectionSettings& settings) override;
    int32_t OpenPort() override;
    int32_t Write(const uint8_t* data, uint32_t count) override;
    void ClosePort() override;

    // Why OpenPort failed, for the result line; empty otherwise.
    const std::string& OpenProblem() const { return device_.Problem(); }
    bool Busy() const { return device_.Busy(); }

  private:
    bool Configure();
    bool WaitForDsr(uint64_t untilMs);

    CDevicePort device_;
    Say say_;
    std::string path_;
    ConnectionSettings settings_{};
    bool modemLines_ = false;
    bool failed_ = false; // a write gave up: what is queued is thrown away at close
};

} // namespace kestrel
