/*
 * One transfer on a worker thread, watched by the caller with a time-out of
 * base + 5 ms per byte (a negative base counts as 0; the whole is clamped
 * to kWorkerLimitMaxMs and compared in 64 bits, so it always fires), or until the port's stop
 * event is set. A worker that runs past it has its transfer cancelled and is waited for; only if
 * it still does not end is it terminated, and then its job (buffer and overlapped record) is left
 * behind rather than freed under a transfer that may still be in flight. The worker holds the I/O
 * lock for its one transfer; a terminated worker abandons it, which the next taker counts as
 * acquired. The call returns only once the worker thread itself has ended: a thread still on its
 * way out of library code would crash the process if the library were unloaded under it.
 */
#ifndef KESTREL_DRIVERS_COMMON_WORKER_TRANSFER_H
#define KESTREL_DRIVERS_COMMON_WORKER_TRANSFER_H

#include "drivers/common/queue_lock.h"

#include <windows.h>

#include <cstdint>

struct WorkerTransferTarget {
    HANDLE device;
    bool synchronous; // plain blocking transfers; else overlapped
    IQueueLock* ioLock;
    HANDLE stop = nullptr; // the port's stop event (closing); may be none
};

constexpr uint32_t kWorkerPerByteMs = 5;
constexpr uint64_t kWorkerLimitMaxMs = 0x7FFFFFFF;

// Writes a private copy of `data`; returns the bytes the device took.
// The base is the record's signed time-out field as it stands.
uint32_t WorkerWrite(const WorkerTransferTarget& target, const uint8_t* data, uint32_t count,
                     int32_t baseMs);
// Reads up to min(count, chunk) bytes (chunk 0: no limit) into a private
// buffer and copies them out only once the worker has finished with it.
// The watch waits for `count` bytes, so a read that ends short (or a
// chunk below `count`) returns only when the time-out has run out.
uint32_t WorkerRead(const WorkerTransferTarget& target, uint8_t* buffer, uint32_t count,
                    int32_t baseMs, uint32_t chunk = 0);

#endif
