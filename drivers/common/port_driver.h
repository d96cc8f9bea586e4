/*
 * The one contract between kestrel and its three port-driver libraries
 * (com, lpt, usb). Every library exports these nine functions, undecorated,
 * through port_driver.def, with C linkage and the platform's default C
 * calling convention (the caller pops the arguments).
 *
 * All three libraries read the same ConnectionSettings layout:
 *   com      fields 1-13: name, line settings, the five serial time-outs,
 *            queue capacity (inputBufferSize); outputBufferSize is kept.
 *   usb/lpt  portName          device path (usb) or port name (lpt)
 *            fields 7-11       the five serial time-outs (lpt), as com
 *            inputBufferSize   capacity of the receive and status queues
 *            outputBufferSize  synchronous flag: non-zero = no status thread
 *                              (the device is still driven overlapped, so
 *                              that every transfer can be bounded and ended)
 *            transferMode      read mode: 0 direct, 1 worker with time-out,
 *                              2 (or other) from the receive queue
 *            writeMode         1 = worker with time-out, else direct
 *            writeTimeout      worker write time-out base, ms
 *            readTimeout       worker read time-out base, ms
 * With the values the program always sets (outputBufferSize 4096,
 * transferMode 1, writeMode 0, writeTimeout 3000, readTimeout 0) usb and
 * lpt run with no status thread, read mode 1, direct writes, and time-out
 * bases of 3000 and 0 ms.
 *
 * ClosePort may be called from another thread while a Write or Read of the
 * same port is in flight: the transfer gives up within a second and returns
 * what moved, ClosePort waits (bounded) for it and for every thread the
 * library started, and once it returns the library may be unloaded.
 */
#ifndef KESTREL_PORT_DRIVER_H
#define KESTREL_PORT_DRIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ConnectionSettings {
    const char* portName;  /* NUL-terminated; valid only during the call; a library copies it */
    int32_t baudRate, dataBits, stopBits, parity, handshake;
    int32_t readIntervalTimeout, readTotalTimeoutMultiplier, readTotalTimeoutConstant,
            writeTotalTimeoutMultiplier, writeTotalTimeoutConstant;
    int32_t inputBufferSize, outputBufferSize;
    int32_t transferMode, writeMode, writeTimeout, readTimeout, reserved;
} ConnectionSettings;

int32_t SetDeviceOption(ConnectionSettings settings);   /* by value */
int32_t OpenPort(void);
int32_t Write(const uint8_t* data, uint32_t count);
int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs);
void    ClosePort(void);
void    Clear(void);
int32_t GetInputBufferCount(void);
int32_t IsPowerState(void);
int32_t GetASBState(uint8_t* record);                  /* 4 bytes */

/* Pointer types for binding the entries by name at run time. */
typedef int32_t (*PFN_SetDeviceOption)(ConnectionSettings);
typedef int32_t (*PFN_OpenPort)(void);
typedef int32_t (*PFN_Write)(const uint8_t*, uint32_t);
typedef int32_t (*PFN_Read)(uint8_t*, uint32_t, uint32_t);
typedef void    (*PFN_ClosePort)(void);
typedef void    (*PFN_Clear)(void);
typedef int32_t (*PFN_GetInputBufferCount)(void);
typedef int32_t (*PFN_IsPowerState)(void);
typedef int32_t (*PFN_GetASBState)(uint8_t*);

#ifdef __cplusplus
}

#include <cstddef>
static_assert(offsetof(ConnectionSettings, baudRate) == sizeof(const char*));
static_assert(offsetof(ConnectionSettings, readIntervalTimeout) == sizeof(const char*) + 5 * 4);
static_assert(offsetof(ConnectionSettings, inputBufferSize) == sizeof(const char*) + 10 * 4);
static_assert(offsetof(ConnectionSettings, reserved) == sizeof(const char*) + 16 * 4);
static_assert(sizeof(ConnectionSettings) == sizeof(const char*) + 17 * 4 ||
              sizeof(ConnectionSettings) == sizeof(const char*) + 18 * 4);
#endif

#endif
