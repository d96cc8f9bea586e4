// A serial printer on a Linux tty, in the place of the serial driver
// library: raw termios with the dialog's line settings, taken exclusively,
// and writes given up only when the printer has taken nothing for a while.
// Every wait also ends when the run's cancel descriptor turns readable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "download/download_engine.h"

namespace kestrel {

class CSerialPort : public IPortDriver {
  public:
    using Say = std::function<void(const std::string&)>;
    // `say` takes the port's own words for a person (port busy, no modem lines).
    CSerialPort(int cancelFd, Say say) : cancelFd_(cancelFd), say_(std::move(say)) {}
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
    const std::string& OpenProblem() const { return openProblem_; }
    bool Busy() const { return busy_; }

  private:
    int32_t Open();
    bool Configure();
    bool WaitForDsr(uint64_t untilMs);

    int cancelFd_;
    Say say_;
    std::string path_;
    ConnectionSettings settings_{};
    int fd_ = -1;
    bool modemLines_ = false;
    bool failed_ = false; // a write gave up: what is queued is thrown away at close
    bool busy_ = false;
    std::string openProblem_;
};

} // namespace kestrel
