// Clear, GetInputBufferCount and GetASBState behave alike in every library.
#include "drivers/common/port_driver.h"
#include "drivers/common/shared_port.h"

extern "C" void Clear(void) {
    DriverPortQueues().Clear();
}

extern "C" int32_t GetInputBufferCount(void) {
    return DriverPortQueues().ReceiveCount();
}

extern "C" int32_t GetASBState(uint8_t* record) {
    if (!record)
        return 0;
    return DriverPortQueues().TakeStatusRecord(record) ? 1 : 0;
}
