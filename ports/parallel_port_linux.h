// A parallel printer on Linux (/dev/lpN, or a test's pty), in the place of
// the parallel driver library: the device port with the printer stall rule
// of the Windows library, and the printer's own word (LPGETSTATUS) on why
// it takes nothing, where the device answers it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "download/download_engine.h"
#include "ports/device_port_linux.h"

namespace kestrel {

class CParallelPort : public IPortDriver {
  public:
    using Say = std::function<void(const std::string&)>;
    // `say` takes the port's own words for a person (port busy, out of paper).
    CParallelPort(int cancelFd, Say say) : device_(cancelFd), say_(std::move(say)) {}
    ~CParallelPort() override { ClosePort(); }
    CParallelPort(const CParallelPort&) = delete;
    CParallelPort& operator=(const CParallelPort&) = delete;

    bool Load(const std::string&) override { return true; }
    void Release() override {}
    int32_t SetDeviceOption(const ConnectionSettings& settings) override;
    int32_t OpenPort() override;
    int32_t Write(const uint8_t* data, uint32_t count) override;
    void ClosePort() override { device_.Close(); }

  private:
    // Why the printer takes nothing, as it says; empty when it says it is
    // ready or cannot say (a pty answers no status at all).
    std::string NotReadyReason() const;
    bool SayNotReady();

    CDevicePort device_;
    Say say_;
    std::string path_;
    int32_t writeTimeout_ = 0;
    std::string said_; // the last reason told, so that each is told once
};

} // namespace kestrel
