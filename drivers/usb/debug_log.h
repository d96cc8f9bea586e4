/*
 * Every chunk the printer sends on its own is kept, as read, in "debug.bin"
 * in the current directory: the one trace a service technician gets from a
 * shop's machine. Failures to keep it are ignored; they must never disturb
 * the port.
 */
#ifndef KESTREL_DRIVERS_USB_DEBUG_LOG_H
#define KESTREL_DRIVERS_USB_DEBUG_LOG_H

#include <cstdint>

void AppendDebugLog(const uint8_t* data, uint32_t count);

#endif
