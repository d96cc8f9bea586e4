// lpt.dll: the shared entries work; opening a parallel port is not built
// yet, so OpenPort refuses and the transfers refuse with it.
#include "drivers/common/port_driver.h"
#include "drivers/common/shared_port.h"
#include "drivers/common/win_mutex.h"

#include <cstring>
#include <string>

namespace {

struct CLptPort {
    CWinMutex receiveLock, statusLock;
    CPortQueues queues{receiveLock, statusLock};
    std::string name;
    ConnectionSettings options{};
};

CLptPort g_port;

} // namespace

CPortQueues& DriverPortQueues() {
    return g_port.queues;
}

extern "C" {

int32_t SetDeviceOption(ConnectionSettings settings) {
    // Case-sensitive on purpose: only names the program itself makes.
    if (!settings.portName || std::strncmp(settings.portName, "LPT", 3) != 0)
        return 0;
    g_port.name = settings.portName;
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
    g_port.queues.ReleaseReceive();
}
int32_t IsPowerState(void) {
    return 0;
}

} // extern "C"
