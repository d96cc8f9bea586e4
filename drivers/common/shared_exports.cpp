// The nine entries of every driver library, all on the library's one port.
#include "drivers/common/port_driver.h"
#include "drivers/common/shared_port.h"

extern "C" {

int32_t SetDeviceOption(ConnectionSettings settings) {
    return DriverPort().SetDeviceOption(settings);
}
int32_t OpenPort(void) {
    return DriverPort().OpenPort();
}
int32_t Write(const uint8_t* data, uint32_t count) {
    return DriverPort().Write(data, count);
}
int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    return DriverPort().Read(buffer, count, timeoutMs);
}
void ClosePort(void) {
    DriverPort().ClosePort();
}
int32_t IsPowerState(void) {
    return DriverPort().IsPowerState();
}

// Clear, GetInputBufferCount and GetASBState only look at the queues.
void Clear(void) {
    DriverPort().Queues().Clear();
}
int32_t GetInputBufferCount(void) {
    return DriverPort().Queues().ReceiveCount();
}
int32_t GetASBState(uint8_t* record) {
    if (!record)
        return 0;
    return DriverPort().Queues().TakeStatusRecord(record) ? 1 : 0;
}

} // extern "C"
