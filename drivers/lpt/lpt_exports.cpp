// The nine entries of lpt.dll, all on the library's one parallel port.
#include "drivers/common/port_driver.h"
#include "drivers/common/shared_port.h"
#include "drivers/lpt/lpt_port.h"

#include <windows.h>

namespace {
CLptPort g_port(::GetVersion()); // lives from library load to unload
}

CPortQueues& DriverPortQueues() {
    return g_port.Queues();
}

extern "C" {

int32_t SetDeviceOption(ConnectionSettings settings) {
    return g_port.SetDeviceOption(settings);
}
int32_t OpenPort(void) {
    return g_port.OpenPort();
}
int32_t Write(const uint8_t* data, uint32_t count) {
    return g_port.Write(data, count);
}
int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    return g_port.Read(buffer, count, timeoutMs);
}
void ClosePort(void) {
    g_port.ClosePort();
}
int32_t IsPowerState(void) {
    return g_port.IsPowerState();
}

} // extern "C"
