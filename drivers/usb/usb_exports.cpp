// The nine entries of usb.dll, all on the library's one USB printer.
#include "drivers/common/port_driver.h"
#include "drivers/common/shared_port.h"
#include "drivers/usb/usb_port.h"

namespace {

LRESULT OnUsbDeviceChange(WPARAM event, LPARAM record);

CUsbPort g_port(&OnUsbDeviceChange); // lives from library load to unload

LRESULT OnUsbDeviceChange(WPARAM event, LPARAM record) {
    return g_port.OnDeviceChange(event, record);
}

} // namespace

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
