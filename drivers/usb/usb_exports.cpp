// usb.dll: the shared entries work; opening a USB printer is not built
// yet, so OpenPort refuses and the transfers refuse with it.
#include "drivers/common/port_driver.h"
#include "drivers/common/shared_port.h"
#include "drivers/common/win_mutex.h"

#include <string>

namespace {

struct CUsbPort {
    CWinMutex receiveLock, statusLock;
    CPortQueues queues{receiveLock, statusLock};
    std::string path;
    ConnectionSettings options{};
};

CUsbPort g_port;

} // namespace

CPortQueues& DriverPortQueues() {
    return g_port.queues;
}

extern "C" {

int32_t SetDeviceOption(ConnectionSettings settings) {
    if (!settings.portName || !*settings.portName)
        return 0;
    g_port.path = settings.portName;
    g_port.options = settings;
    g_port.options.portName = nullptr; // the caller's text dies with the call
    return 1;
}
int32_t OpenPort(void) {
    return 0;
}
int32_t Write(const uint8_t*, uint32_t) {
    return 0;
}
int32_t Read(uint8_t*, uint32_t, uint32_t) {
    return 0;
}
void ClosePort(void) {
    g_port.queues.ReleaseAll();
}
int32_t IsPowerState(void) {
    return 0;
}

} // extern "C"
