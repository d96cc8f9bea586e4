// usb.dll's one USB printer; its nine entries are drivers/common's.
#include "drivers/common/shared_port.h"
#include "drivers/usb/usb_port.h"

namespace {

LRESULT OnUsbDeviceChange(WPARAM event, LPARAM record);

CUsbPort g_port(&OnUsbDeviceChange); // lives from library load to unload

LRESULT OnUsbDeviceChange(WPARAM event, LPARAM record) {
    return g_port.OnDeviceChange(event, record);
}

} // namespace

CDriverPort& DriverPort() {
    return g_port;
}
