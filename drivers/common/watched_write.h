/*
 * A block written to a printer on a parallel or USB port: overlapped
 * transfers of kPrinterWritePiece bytes, each completed piece counted as
 * progress, given up only when the printer has taken nothing for the stall
 * bound (a printer may hold BUSY for many seconds while it erases its
 * flash) or when the port is being closed. Overlapped whatever the caller
 * asked for: a blocking write cannot be given up (under Wine it cannot even
 * be cancelled).
 */
#ifndef KESTREL_DRIVERS_COMMON_WATCHED_WRITE_H
#define KESTREL_DRIVERS_COMMON_WATCHED_WRITE_H

#include <windows.h>

#include <cstdint>

struct WatchedWriteEnd {
    uint32_t written = 0;
    DWORD error = 0;      // the failure that ended it, or 0
    bool stalled = false; // the printer took nothing for the whole bound
};

// `device` opened overlapped; `stop` (may be null) ends the write within a
// few milliseconds. A piece that ends short without failing (the device's
// own write time-out) is followed, after `retryPauseMs`, by the rest.
WatchedWriteEnd WatchedWrite(HANDLE device, HANDLE stop, const uint8_t* data, uint32_t count,
                             uint64_t stallMs, DWORD retryPauseMs);

#endif
