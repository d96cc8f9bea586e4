// com.dll's one serial port; its nine entries are drivers/common's.
#include "drivers/com/com_port.h"
#include "drivers/common/shared_port.h"

namespace {
CComPort g_port; // lives from library load to unload
}

CDriverPort& DriverPort() {
    return g_port;
}
