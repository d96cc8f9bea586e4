// lpt.dll's one parallel port; its nine entries are drivers/common's.
#include "drivers/common/shared_port.h"
#include "drivers/lpt/lpt_port.h"

#include <windows.h>

namespace {
CLptPort g_port(::GetVersion()); // lives from library load to unload
}

CDriverPort& DriverPort() {
    return g_port;
}
