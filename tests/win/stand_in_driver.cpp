// A driver library that is not ours: built once with all nine exports (a
// library planted on the search path) and once without GetASBState.
#include <cstdint>

#include "drivers/common/port_driver.h"

extern "C" {
int32_t SetDeviceOption(ConnectionSettings) { return 1; }
int32_t OpenPort(void) { return 1; }
int32_t Write(const uint8_t*, uint32_t count) { return static_cast<int32_t>(count); }
int32_t Read(uint8_t*, uint32_t, uint32_t) { return 0; }
void ClosePort(void) {}
void Clear(void) {}
int32_t GetInputBufferCount(void) { return 0; }
// Tells a test which library answered.
int32_t IsPowerState(void) { return 4242; }
#ifndef WITHOUT_ASB_STATE
int32_t GetASBState(uint8_t*) { return 0; }
#endif
}
