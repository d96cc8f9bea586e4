/*
 * The one port each driver library keeps, as its nine exports see it. Each
 * library defines DriverPort() on its own port object; the exports are then
 * the same code in all three (shared_exports.cpp).
 */
#ifndef KESTREL_DRIVERS_COMMON_SHARED_PORT_H
#define KESTREL_DRIVERS_COMMON_SHARED_PORT_H

#include "drivers/common/port_driver.h"
#include "drivers/common/port_queues.h"

#include <cstdint>

class CDriverPort {
  public:
    virtual int32_t SetDeviceOption(const ConnectionSettings& settings) = 0;
    virtual int32_t OpenPort() = 0;
    virtual int32_t Write(const uint8_t* data, uint32_t count) = 0;
    virtual int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) = 0;
    virtual void ClosePort() = 0;
    virtual int32_t IsPowerState() = 0;
    virtual CPortQueues& Queues() = 0;

  protected:
    ~CDriverPort() = default;
};

// The library's port object, which lives from load to unload.
CDriverPort& DriverPort();

#endif
